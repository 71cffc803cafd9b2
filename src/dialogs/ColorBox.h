// The account colour drop-down: "Skin Default", sixteen colours and "Custom...".
#pragma once

#include <QComboBox>

#include <functional>

// Colours are red + 256 * green + 65536 * blue, as the settings store them.
class TColorBox : public QComboBox {
    Q_OBJECT
  public:
    explicit TColorBox(QWidget* parent = nullptr);

    static constexpr int CustomEntry = 17;
    // The colour of the custom entry: the last one chosen, black at first.
    int CustomColor = 0;

    // Selects the first fixed entry of value, else makes value the custom colour.
    void SelectColor(int value);
    int SelectedColor() const;
    // The swatch colour of an entry.
    int EntryColor(int index) const;

    // Asks the user for a colour starting from current; -1 when cancelled. Tests replace it.
    static std::function<int(QWidget* owner, int current)> ChooseColor;

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    void EntryChosen(int index);
};

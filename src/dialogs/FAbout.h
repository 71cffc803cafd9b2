// The about box: version and build, the author, and a cow behind the "©" sign.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TfrmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmAbout(QWidget* owner);

    // "x.y.z build n" of this build.
    static QString VersionText();

    // Shakes in progress (for tests).
    int Shaking() const { return FShaking; }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void lblEasterEggClick();
    // Shakes the cow with a fading movement, then puts it back where it stood.
    void imgCowClick();

    QLabel* imgAbout;
    QLabel* lblVersion;
    QLabel* lblProgramming1;
    QLabel* lblEasterEgg;
    QLabel* lblSoftware;
    QLabel* imgCow;
    QPushButton* cmdOK;
    int FShaking = 0;
};

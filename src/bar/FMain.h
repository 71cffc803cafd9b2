// The ticker bar window: the program's main window.
#pragma once

#include <QWidget>

class TfrmMain : public QWidget {
    Q_OBJECT
  public:
    TfrmMain();

    // How often a later copy of the program signalled this one.
    int NewInstanceCount() const { return FNewInstanceCount; }

  public slots:
    // A later copy was started: bring the bar into view.
    void NewInstance();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int FNewInstanceCount = 0;
};

extern TfrmMain* frmMain;

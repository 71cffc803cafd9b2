// The tasks window: the queue of mail jobs, their progress, and the errors they met.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QWidget;
class TMailAnimation;
class TMessageStore;

// Rows of lvTasks follow the store's job queue (row 0, the running job, carries a mark)
// and rows of lvErrors its errors, an account's with when it last worked and will be tried
// next, a void sign-in's with a button that signs in again; the Close and Clear buttons
// empty the errors, the Cancel button stops the running job.
class TfrmTasks : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmTasks(TMessageStore& store, QWidget* parent = nullptr);
    ~TfrmTasks() override;

    // Shows the window (not modally) on page 0 "Tasks" or 1 "Errors".
    void ShowPage(int page);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void TaskAdded(int position);
    void TaskRemoved(int position);
    void TaskStarted();
    void ErrorAdded(int index);
    void ErrorChanged(int index);
    void ErrorRemoved(int index);
    // The row's texts from the store's error at the same index.
    void ShowError(int index);
    void StatusChanged(const std::string& text);
    void ProgressChanged(qint64 received, qint64 size);
    void cmdCloseClick();
    void cmdClearClick();
    void cmdCancelClick();
    void lvTasksChange();
    void MarkRunningRow();
    void FitErrorRows();

    QWidget* pnlTop;
    QLabel* lblTasks;
    TMailAnimation* aniMail;
    QTabWidget* pcTasks;
    QWidget* tsTasks;
    QTreeWidget* lvTasks;
    QWidget* tsErrors;
    QTreeWidget* lvErrors;
    QLabel* lblStatus;
    QProgressBar* pbProgress;
    QPushButton* cmdCancel;
    QPushButton* cmdClose;
    QPushButton* cmdClear;

    TMessageStore& FStore;
    bool FWasShown = false;
};

// The "TASKS" clip: an envelope with dots travelling to the right, looping while shown.
class TMailAnimation : public QWidget {
    Q_OBJECT
  public:
    explicit TMailAnimation(QWidget* parent);
    void Play();
    void Stop();
    bool Playing() const { return FTimer != 0; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void timerEvent(QTimerEvent*) override;

  private:
    int FTimer = 0;
    int FFrame = 0;
};

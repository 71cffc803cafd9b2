// The tasks window: the queue of mail jobs, their progress, and the errors they met.
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QWidget;
class TMailAnimation;

class TfrmTasks : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmTasks(QWidget* parent = nullptr);
    ~TfrmTasks() override;

    // Set by the main window: the Close and Clear buttons empty its error list, the
    // Cancel button stops the running job.
    std::function<void()> OnClearErrors;
    std::function<void()> OnCancelTask;

    // Shows the window (not modally) on page 0 "Tasks" or 1 "Errors".
    void ShowPage(int page);

    // Rows of lvTasks follow the job queue; row 0 carries the running-job mark.
    void AddTaskRow(const QString& caption);
    void RemoveFirstTaskRow();
    void RemoveTaskRow(int row);
    void AddErrorRow(const QString& text, const QString& time);
    void ClearErrorRows();

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

  protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void cmdCloseClick();
    void cmdClearClick();
    void cmdCancelClick();
    void lvTasksChange();
    void MarkRunningRow();
};

// The "TASKS" clip: an envelope with dots travelling to the right, looping while shown.
class TMailAnimation : public QWidget {
    Q_OBJECT
  public:
    explicit TMailAnimation(QWidget* parent);
    void Play();
    void Stop();
    bool Playing() const { return FTimer != 0; }
    int Frame() const { return FFrame; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void timerEvent(QTimerEvent*) override;

  private:
    int FTimer = 0;
    int FFrame = 0;
};

// The attachment prompt: open or save an attachment, and whether to ask again.
#pragma once

#include "core/Options.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

class TfrmAttachment : public QDialog {
    Q_OBJECT
  public:
    TfrmAttachment(QWidget* owner, const QString& fileName);

    // Shows the prompt for fileName. False on Cancel; otherwise action is 1 (save) or
    // 0 (open) and remember tells whether "do not ask again" was ticked.
    static bool Ask(QWidget* owner, const QString& fileName, TAttachmentAction& action,
                    bool& remember);
    // Tests: the next prompt is not shown; answer sets its controls and returns the
    // dialog's result (QDialog::Accepted or Rejected).
    static void SetNextAnswer(std::function<int(TfrmAttachment&)> answer);

  private:
    QLabel* imgSide;
    QLabel* lblFile;
    QLabel* lblVirus;
    QRadioButton* optSave;
    QRadioButton* optOpen;
    QCheckBox* chkAsk;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

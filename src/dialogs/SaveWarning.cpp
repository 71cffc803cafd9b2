// A dialog's changes to the settings and the box that tells of a failed save.
#include "dialogs/SaveWarning.h"

#include "core/Settings.h"
#include "platform/MessageBox.h"

void ChangeSettings(QWidget* owner, const QString& caption, const std::function<void()>& change) {
    const unsigned failedBefore = Settings().FailedSaves();
    change();
    // The user pressed OK and trusts the change to be kept: the box answers that press,
    // unless a later save within it wrote everything after all.
    if (Settings().FailedSaves() != failedBefore && Settings().SaveError() != 0)
        ShowMessageBox(owner, QString::fromStdString(SaveFailureText(Settings().SaveError())),
                       caption, QMessageBox::Warning);
}

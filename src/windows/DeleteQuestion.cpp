// The question before messages are removed from their server.
#include "windows/DeleteQuestion.h"

#include "core/Settings.h"
#include "platform/MessageBox.h"

bool ConfirmDelete(QWidget* owner, bool several) {
    if (!Settings().Options().DeleteConfirm)
        return true;
    const QString question = several ? "Are you sure you want to delete the selected messages?"
                                     : "Are you sure you want to delete this message?";
    return ShowMessageBox(owner,
                          question +
                              "\r\n\r\nNote: The message will be removed from the server, \r\n"
                              "this action can not be reversed!",
                          "Delete message", QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

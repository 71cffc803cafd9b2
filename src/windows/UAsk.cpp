// Yes/No questions in message boxes, with a seam through which tests give the answer.
#include "windows/UAsk.h"

#include <QMessageBox>

#include <optional>

namespace {
std::optional<bool> GivenAnswer;
int Asked = 0;
} // namespace

bool AskYesNo(QWidget* owner, const QString& caption, const QString& text) {
    ++Asked;
    if (GivenAnswer)
        return *GivenAnswer;
    return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void SetNextAnswer(bool answer) {
    GivenAnswer = answer;
}

int QuestionsAsked() {
    return Asked;
}

// Message boxes and their test seam.
#include "platform/MessageBox.h"

#include <deque>

namespace {

std::deque<QMessageBox::StandardButton>& Answers() {
    static std::deque<QMessageBox::StandardButton> answers;
    return answers;
}

std::vector<TMessageBoxRecord>& Records() {
    static std::vector<TMessageBoxRecord> records;
    return records;
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text,
                                           const QString& caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons) {
    if (!Answers().empty()) {
        Records().push_back({caption, text, icon});
        const QMessageBox::StandardButton answer = Answers().front();
        Answers().pop_front();
        return answer;
    }
    QMessageBox box(icon, caption, text, buttons, owner);
    // A box without owner must still come to the front.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, owner == nullptr);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetNextMessageBoxAnswer(QMessageBox::StandardButton answer) {
    Answers().push_back(answer);
}

const std::vector<TMessageBoxRecord>& RecordedMessageBoxes() {
    return Records();
}

void ClearRecordedMessageBoxes() {
    Records().clear();
    Answers().clear();
}

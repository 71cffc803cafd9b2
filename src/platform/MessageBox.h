// Message boxes with a seam through which tests record a box instead of showing it.
#pragma once

#include <QMessageBox>
#include <QString>

#include <vector>

struct TMessageBoxRecord {
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// Shows a modal box and returns the button pressed. While answers are queued by
// SetNextAnswer, the box is only recorded and the next queued answer returned.
QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text,
                                           const QString& caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Tests: the next box is answered with answer without being shown.
void SetNextMessageBoxAnswer(QMessageBox::StandardButton answer);
// Tests: every box recorded in place of showing it, oldest first.
const std::vector<TMessageBoxRecord>& RecordedMessageBoxes();
void ClearRecordedMessageBoxes();

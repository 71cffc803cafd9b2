// Yes/No questions in message boxes, with a seam through which tests give the answer.
#pragma once

#include <QString>

class QWidget;

// Asks with a question icon and Yes/No buttons; true for Yes.
bool AskYesNo(QWidget* owner, const QString& caption, const QString& text);

// Tests: the next questions are answered with answer without showing a box; each
// question asked is counted.
void SetNextAnswer(bool answer);
int QuestionsAsked();

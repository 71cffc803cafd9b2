// The question before messages are removed from their server.
#pragma once

class QWidget;

// True when removing may go ahead: the user said Yes, or does not want to be asked.
bool ConfirmDelete(QWidget* owner, bool several);

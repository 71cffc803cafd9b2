// The read window: shows one message with its attachments.
#pragma once

#include <QWidget>

class TfrmRead : public QWidget {
    Q_OBJECT
  public:
    TfrmRead();
};

extern TfrmRead* frmRead;

// The read window.
#include "windows/FRead.h"

TfrmRead* frmRead = nullptr;

TfrmRead::TfrmRead() {
    setObjectName("frmRead");
    setWindowTitle("Quillbar");
}

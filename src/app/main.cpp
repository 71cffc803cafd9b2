// Entry point: the application object, the program folder, then the start-up sequence.
#include "app/Startup.h"
#include "core/UGlobal.h"
#include "platform/QBApplication.h"

int main(int argc, char** argv) {
    TQBApplication app(argc, argv);
    InitAppPath();
    return RunQuillbar();
}

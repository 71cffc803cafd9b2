// Entry point: the options, the application object, the program folder and the layout of
// the user's files, then the start-up sequence.
#include "app/CommandLine.h"
#include "app/Startup.h"
#include "core/Folders.h"
#include "core/Global.h"
#include "platform/FreeMemory.h"
#include "platform/QBApplication.h"

int main(int argc, char** argv) {
    ShareOneArena();
    const TCommandLine options = ParseCommandLine(argc, argv);
    if (options.Done)
        return options.ExitCode;
    TQBApplication app(argc, argv);
    InitAppPath();
    InitFolders();
    return RunQuillbar(options);
}

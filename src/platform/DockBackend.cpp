// Whether the status icon stands in for a docked bar.
#include "platform/DockBackend.h"

bool TrayIconShown(const std::optional<bool>& choice) {
    if (choice)
        return *choice;
    const std::unique_ptr<TDockBackend> dock = CreateDockBackend();
    return !dock->CanDock() || !dock->StripKept();
}

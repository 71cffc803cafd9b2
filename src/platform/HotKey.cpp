// The global hot key Windows+T over the build's backend.
#include "platform/HotKey.h"

#include "platform/HotKeyBackend.h"

THotKey::THotKey(QObject* parent) : QObject(parent) {
    // OnPressed may be set or replaced after the grab, so the backend calls through this.
    FBackend = CreateHotKeyBackend([this] {
        if (OnPressed)
            OnPressed();
    });
}

THotKey::~THotKey() {
    Unregister();
}

bool THotKey::Supported() {
    return HotKeyBackendCanGrab();
}

bool THotKey::Register() {
    if (!FRegistered)
        FRegistered = FBackend->Grab();
    return FRegistered;
}

void THotKey::Unregister() {
    if (!FRegistered)
        return;
    FBackend->Ungrab();
    FRegistered = false;
}

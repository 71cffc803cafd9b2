// The windowing system's side of the global hot key; one implementation per backend folder.
#pragma once

#include <functional>
#include <memory>

class THotKeyBackend {
  public:
    virtual ~THotKeyBackend() = default;

    // Grabs Super+T for the whole desktop. False when the system offers no such grab or
    // another program holds the key.
    virtual bool Grab() = 0;
    virtual void Ungrab() = 0;
};

// False when this build's backend never grabs (a build without X11).
bool HotKeyBackendCanGrab();
// The backend this build was made with; onPressed runs on the main thread for each press.
std::unique_ptr<THotKeyBackend> CreateHotKeyBackend(std::function<void()> onPressed);

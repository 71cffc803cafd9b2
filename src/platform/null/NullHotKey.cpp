// Hot key backend of a build without a windowing system to grab keys from: never grabs.
#include "platform/HotKeyBackend.h"

namespace {

class TNullHotKey : public THotKeyBackend {
  public:
    bool Grab() override { return false; }
    void Ungrab() override {}
};

} // namespace

bool HotKeyBackendCanGrab() {
    return false;
}

std::unique_ptr<THotKeyBackend> CreateHotKeyBackend(std::function<void()>) {
    return std::make_unique<TNullHotKey>();
}

// Docking where no windowing system backend is built: the bar floats.
#include "platform/DockBackend.h"

namespace {

class TNullDock : public TDockBackend {
  public:
    void Apply(QWidget*, int, const QRect&, bool) override {}
    void SetAbove(QWidget*, bool) override {}
    bool FullScreenActive() override { return false; }
    void WatchFullScreen(std::function<void()>) override {}
    bool CanDock() const override { return false; }
    bool StripKept() override { return false; }
};

} // namespace

std::unique_ptr<TDockBackend> CreateDockBackend() {
    return std::make_unique<TNullDock>();
}

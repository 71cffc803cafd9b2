// The global hot key Windows+T, grabbed through the build's windowing backend.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class THotKeyBackend;

class THotKey : public QObject {
  public:
    explicit THotKey(QObject* parent = nullptr);
    ~THotKey() override;

    // Grabs Super+T (with and without NumLock and CapsLock). False when there is no X11
    // display, the build has no X11, or another program holds the key.
    bool Register();
    void Unregister();
    // False when this build cannot grab keys at all (built without X11).
    static bool Supported();

    std::function<void()> OnPressed;

  private:
    std::unique_ptr<THotKeyBackend> FBackend;
    bool FRegistered = false;
};

// The global hot key Windows+T: a key grab on the X11 root window; nothing elsewhere.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <functional>

class THotKey : public QObject, public QAbstractNativeEventFilter {
  public:
    explicit THotKey(QObject* parent = nullptr);
    ~THotKey() override;

    // Grabs Super+T (with and without NumLock and CapsLock). False when there is no X11
    // display or another program holds the key.
    bool Register();
    void Unregister();
    bool Registered() const { return FKeyCode != 0; }

    std::function<void()> OnPressed;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    unsigned FKeyCode = 0;
};

// The global hot key on a real X server (skipped on the offscreen platform).
#include "GuiTest.h"

#include "platform/HotKey.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>
#include <QWidget>

namespace {

// A window that counts the presses of Super+T that reach it.
class TKeyWindow : public QWidget {
  public:
    int Presses = 0;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_T && event->modifiers().testFlag(Qt::MetaModifier))
            ++Presses;
    }
};

} // namespace

class HotKey : public TGuiTest {};

TEST_F(HotKey, SuperTReachesTheProgramFromAnyWindowUntilUnregistered) {
    THotKey hotKey;
    if (QGuiApplication::platformName() != "xcb" || !THotKey::Supported()) {
        EXPECT_FALSE(hotKey.Register()); // no X11: nothing to grab, nothing breaks
        if (!THotKey::Supported())
            GTEST_SKIP() << "built without X11";
        GTEST_SKIP() << "needs an X server (run with QT_QPA_PLATFORM=xcb under Xvfb)";
    }
    TKeyWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    int pressed = 0;
    hotKey.OnPressed = [&] { ++pressed; };
    ASSERT_TRUE(hotKey.Register());
    ASSERT_EQ(QProcess::execute("xdotool", {"key", "super+t"}), 0);
    EXPECT_TRUE(WaitUntil([&] { return pressed == 1; }, 5000));
    EXPECT_EQ(window.Presses, 0);

    // Released, the key goes to the focused window as any other key would. A window manager
    // that starts with the test may still move the focus: then focus and press again.
    hotKey.Unregister();
    const QString windowId = QString::number(window.winId());
    for (int attempt = 0; attempt < 5 && window.Presses == 0; ++attempt) {
        QProcess::execute("xdotool", {"windowfocus", "--sync", windowId});
        ASSERT_EQ(QProcess::execute("xdotool", {"key", "super+t"}), 0);
        WaitUntil([&] { return window.Presses > 0; }, 2000);
    }
    EXPECT_GE(window.Presses, 1);
    EXPECT_EQ(pressed, 1);
}

// The global hot key on a real X server (skipped on the offscreen platform).
#include "GuiTest.h"

#include "platform/UHotKey.h"

#include <QGuiApplication>
#include <QProcess>

class HotKey : public TGuiTest {};

TEST_F(HotKey, SuperTReachesTheProgramFromAnyWindow) {
    THotKey hotKey;
    if (QGuiApplication::platformName() != "xcb") {
        EXPECT_FALSE(hotKey.Register()); // no X11: nothing to grab, nothing breaks
        GTEST_SKIP() << "needs an X server (run with QT_QPA_PLATFORM=xcb under Xvfb)";
    }
    int pressed = 0;
    hotKey.OnPressed = [&] { ++pressed; };
    ASSERT_TRUE(hotKey.Register());
    ASSERT_EQ(QProcess::execute("xdotool", {"key", "super+t"}), 0);
    EXPECT_TRUE(WaitUntil([&] { return pressed == 1; }, 5000));
    hotKey.Unregister();
    QProcess::execute("xdotool", {"key", "super+t"});
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(pressed, 1);
}

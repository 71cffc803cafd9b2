// The bar window itself: its hover text follows the message button under the pointer.
#include "GuiTest.h"

#include "bar/USkin.h"
#include "core/UGlobal.h"
#include "mail/UCustomIndy.h"

#include <QApplication>
#include <QTest>
#include <QToolTip>

#include <filesystem>

class BarWindow : public TGuiTest {
  protected:
    void SetUp() override {
        TGuiTest::SetUp();
        std::filesystem::create_directories(AppPath + "/Skins");
        std::filesystem::copy(QB_SKINS_DIR "/Default", AppPath + "/Skins/Default",
                              std::filesystem::copy_options::recursive);
        InitSkins();
        Skin->LoadSkin("Default");
    }
    void TearDown() override {
        TGuiTest::TearDown();
        delete Skin;
        Skin = nullptr;
    }
    void AddEntry(const std::string& subject, const std::string& hint) {
        TButton entry;
        entry.Caption = subject;
        entry.UID = subject;
        entry.Hint = hint;
        entry.Msg = std::make_shared<TQBMessage>();
        Store->Buttons.push_back(entry);
    }
    // Starts the program with the bar shown.
    void ShowBar() {
        StartProgram();
        Main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Main.get()));
    }
    // The bar's layout with every entry unread and the pointer away.
    TBarLayout Layout() const {
        TBarState state;
        state.ClientWidth = Main->width();
        state.EntryCount = static_cast<int>(Store->Buttons.size());
        state.IsRead = [](int) { return false; };
        return LayoutBar(BarMetrics(*Skin), state);
    }
    // Paints the bar with the pointer at x (or away with -1) and returns its hover text.
    QString HintAt(int x) {
        Main->MouseX = x;
        Main->MouseY = x < 0 ? -1 : Main->height() / 2;
        Main->repaint();
        return Main->toolTip();
    }
};

TEST_F(BarWindow, HoverTextIsTheHintOfTheMessageUnderThePointer) {
    ShowBar();
    AddEntry("One", "Account: Home\r\nFrom: one@example.org");
    AddEntry("Two", "Account: Home\r\nFrom: two@example.org");
    const TBarLayout layout = Layout();
    ASSERT_EQ(layout.Buttons.size(), 2u);
    EXPECT_EQ(HintAt(layout.Buttons[1].Left + 2), "Account: Home\nFrom: two@example.org");
    EXPECT_EQ(Main->HotItem, HotFirstMessage + 1);
    EXPECT_EQ(Main->Hint, "Account: Home\r\nFrom: two@example.org");
    EXPECT_EQ(HintAt(layout.Buttons[0].Left), "Account: Home\nFrom: one@example.org");
    // Over the menu button, and away from the bar: no hover text.
    EXPECT_EQ(HintAt(layout.MenuButton.Left + 2), "");
    EXPECT_EQ(Main->HotItem, HotMenuButton);
    HintAt(layout.Buttons[0].Left + 2);
    EXPECT_EQ(HintAt(-1), "");
    EXPECT_EQ(Main->Hint, "");
}

// The bar is hardly ever the active window; its hints show all the same.
TEST_F(BarWindow, HintShowsWhileAnotherWindowIsActive) {
    ShowBar();
    AddEntry("One", "Account: Home");
    QWidget other;
    other.setGeometry(100, 300, 200, 100);
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_FALSE(Main->isActiveWindow());
    Main->repaint();
    const TBarLayout layout = Layout();
    ASSERT_EQ(layout.Buttons.size(), 1u);
    QTest::mouseMove(Main.get(), QPoint(layout.Buttons[0].Left + 5, Main->height() / 2));
    EXPECT_TRUE(WaitUntil([] { return QToolTip::isVisible(); }, 5000));
    EXPECT_EQ(QToolTip::text(), "Account: Home");
    QToolTip::hideText();
}

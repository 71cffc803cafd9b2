// The bar window itself: hover text, scrolling, clicks, menus and the size grip.
#include "GuiTest.h"

#include "bar/BarDock.h"
#include "core/Global.h"
#include "core/Settings.h"
#include "dialogs/FAbout.h"
#include "dialogs/FOptions.h"
#include "mime/Message.h"
#include "platform/MessageBox.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <filesystem>

class BarWindow : public TGuiTest {
  protected:
    void SetUp() override {
        TGuiTest::SetUp();
        std::filesystem::create_directories(AppPath + "/Skins");
        std::filesystem::copy(QB_SKINS_DIR "/Default", AppPath + "/Skins/Default",
                              std::filesystem::copy_options::recursive);
        InitSkins();
        ASSERT_EQ(Skin().LoadSkin("Default"), "");
    }
    void TearDown() override {
        TGuiTest::TearDown();
        Skin() = TSkinData();
    }
    // An entry of the first account (or none), whose hint names its sender.
    void AddEntry(const std::string& subject, const std::string& from) {
        TEntry entry;
        entry.Fields.Subject = subject;
        entry.UID = subject;
        entry.Fields.From = from;
        Store->AddEntry(entry);
    }
    // Starts the program with the bar shown.
    void ShowBar() {
        SetOption(&TOptions::Scroll, true);
        StartProgram();
        Main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Main.get()));
    }
    // The bar's layout with every entry unread and the pointer away.
    TBarLayout Layout() const {
        TBarState state;
        state.ClientWidth = Main->width();
        state.ButtonWidth = Settings().Options().ButtonWidth;
        state.EntryCount = static_cast<int>(Store->Entries().size());
        state.IsRead = [](int) { return false; };
        return LayoutBar(BarMetrics(Skin()), state);
    }
    // Moves the pointer to x on the bar (or away with -1), paints the bar and returns its
    // hover text.
    QString HintAt(int x) {
        if (x < 0) {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(Main.get(), &leave);
        } else {
            QTest::mouseMove(Main.get(), QPoint(x, Main->height() / 2));
        }
        Main->repaint();
        return Main->toolTip();
    }
    // The bar's menu, and its menu item, named name.
    QMenu* BarMenu(const char* name) const { return Child<QMenu>(*Main, name); }
    QAction* Command(const char* name) const { return Child<QAction>(*Main, name); }
};

TEST_F(BarWindow, HoverTextIsTheHintOfTheMessageUnderThePointer) {
    ShowBar();
    AddEntry("One", "one@example.org");
    AddEntry("Two", "two@example.org");
    const TBarLayout layout = Layout();
    ASSERT_EQ(layout.Buttons.size(), 2u);
    EXPECT_EQ(HintAt(layout.Buttons[1].Left + 2), "Account: \nFrom: two@example.org\nTo: \nDate: ");
    EXPECT_EQ(Main->HotElement(), HotFirstMessage + 1);
    EXPECT_EQ(HintAt(layout.Buttons[0].Left), "Account: \nFrom: one@example.org\nTo: \nDate: ");
    // Over the menu button, and away from the bar: no hover text.
    EXPECT_EQ(HintAt(layout.MenuButton.Left + 2), "");
    EXPECT_EQ(Main->HotElement(), HotMenuButton);
    HintAt(layout.Buttons[0].Left + 2);
    EXPECT_EQ(HintAt(-1), "");
    EXPECT_EQ(Main->HotElement(), HotNone);
    QToolTip::hideText();
}

// The bar is hardly ever the active window; its hints show all the same.
TEST_F(BarWindow, HintShowsWhileAnotherWindowIsActive) {
    ShowBar();
    AddEntry("One", "one@example.org");
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
    EXPECT_EQ(QToolTip::text(), "Account: \nFrom: one@example.org\nTo: \nDate: ");
    QToolTip::hideText();
}

// Five unread messages of which three fit: 1-3, then 2-4, 3-5, 3-5 again, and 1-3.
TEST_F(BarWindow, ScrollingStepsThroughTheUnreadMessagesAndStartsAgain) {
    ShowBar();
    for (const char* subject : {"1", "2", "3", "4", "5"})
        AddEntry(subject, "");
    SetOption(&TOptions::ButtonWidth, 150);
    for (int width = 400; width < 3000 && Layout().Buttons.size() < 3; width += 5)
        Main->resize(width, Main->height());
    ASSERT_EQ(Layout().Buttons.size(), 3u);
    auto first = [this] {
        Main->repaint();
        return Main->FirstShown();
    };
    auto* scroll = Child<QTimer>(*Main, "tmrScroll");
    auto* scrollDelay = Child<QTimer>(*Main, "tmrScrollDelay");
    std::vector<int> shown{first()};
    for (int step = 0; step < 4; ++step) {
        // One tick of the scroll timer, whether it runs or not.
        QMetaObject::invokeMethod(scroll, "timeout");
        shown.push_back(first());
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 2, 0}));
    // The pointer over the bar stops the scrolling; leaving starts the pause again.
    scroll->start();
    QTest::mouseMove(Main.get(), QPoint(Main->width() / 2, Main->height() / 2));
    EXPECT_FALSE(scroll->isActive());
    EXPECT_FALSE(scrollDelay->isActive());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Main.get(), &leave);
    EXPECT_TRUE(scrollDelay->isActive());
    // With everything in view nothing runs at all.
    Store->MarkRead(0);
    Store->MarkRead(1);
    QApplication::sendEvent(Main.get(), &leave);
    EXPECT_FALSE(scrollDelay->isActive());
    EXPECT_FALSE(scroll->isActive());
}

// A right click opens the button menu for that message; its commands act on it even
// when the pointer has moved on.
TEST_F(BarWindow, ButtonMenuActsOnTheMessageItWasOpenedFor) {
    AddLoopbackAccount("Home", 1, false);
    ShowBar();
    AddEntry("One", "");
    AddEntry("Two", "");
    const TBarLayout layout = Layout();
    QTest::mouseClick(Main.get(), Qt::RightButton, {}, QPoint(layout.Buttons[1].Left + 5, 5));
    EXPECT_TRUE(WaitUntil([this] { return BarMenu("mnuButton")->isVisible(); }, 5000));
    BarMenu("mnuButton")->close();
    QTest::mouseMove(Main.get(), QPoint(layout.Buttons[0].Left + 5, 5));
    Command("Markasread1")->trigger();
    EXPECT_TRUE(Store->Entries()[1].Read);
    EXPECT_FALSE(Store->Entries()[0].Read);
    // Delete asks first; No leaves everything, and without the question it is queued.
    SetOption(&TOptions::DeleteConfirm, true);
    SetNextMessageBoxAnswer(QMessageBox::No);
    Command("Delete1")->trigger();
    EXPECT_TRUE(Store->Tasks().empty());
    EXPECT_EQ(RecordedMessageBoxes().back().Caption, "Delete message");
    SetOption(&TOptions::DeleteConfirm, false);
    Command("Delete1")->trigger();
    ASSERT_EQ(Store->Tasks().size(), 1u);
    EXPECT_EQ(Store->Tasks()[0].Kind, TJobKind::Remove);
    // A right click on an arrow does nothing; on the menu button it opens the main menu.
    QTest::mouseClick(Main.get(), Qt::RightButton, {}, QPoint(layout.MenuButton.Left + 2, 5));
    EXPECT_TRUE(BarMenu("mnuMain")->isVisible());
    EXPECT_EQ(BarMenu("mnuMain")->pos(), Main->mapToGlobal(QPoint(0, Main->height())));
    BarMenu("mnuMain")->close();
}

// The button menu stays up while checks run: another client removes the first message and
// a check drops its entry, so every later entry moves. Delete still removes the message the
// menu was opened for, and a message gone meanwhile is not removed at all.
TEST_F(BarWindow, ButtonMenuDeletesItsMessageAfterEntriesMovedOrWent) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 4);
    SetOption(&TOptions::DeleteConfirm, false);
    ShowBar();
    // The buttons stay where Layout() has them.
    SetOption(&TOptions::Scroll, false);
    ASSERT_TRUE(WaitForJobs());
    const std::vector<std::string> files = Dovecot().MessageFiles(user);
    ASSERT_GE(Layout().Buttons.size(), 4u);
    auto popUpOn = [&](int button) {
        const TBarLayout layout = Layout();
        QTest::mouseClick(Main.get(), Qt::RightButton, {},
                          QPoint(layout.Buttons[static_cast<size_t>(button)].Left + 5, 5));
        ASSERT_TRUE(WaitUntil([this] { return BarMenu("mnuButton")->isVisible(); }, 5000));
    };
    auto removeElsewhereAndCheck = [&](const std::string& file) {
        Dovecot().DeleteMessage(user, file);
        LetSessionEnd();
        Store->CheckNow(0);
        ASSERT_TRUE(WaitForJobs());
    };

    popUpOn(2);
    removeElsewhereAndCheck(files[0]);
    ASSERT_EQ(Store->Entries().size(), 3u);
    Dovecot().ClearCommands();
    Command("Delete1")->trigger();
    const std::vector<std::string> left = {files[1], files[3]};
    EXPECT_TRUE(WaitUntil([&] { return Dovecot().MessageFiles(user) == left; }));
    PrintServerCommands("Bar menu Delete after a check moved the entries");

    BarMenu("mnuButton")->close();
    popUpOn(1);
    removeElsewhereAndCheck(files[3]);
    Dovecot().ClearCommands();
    Command("Delete1")->trigger();
    ASSERT_TRUE(WaitForJobs());
    LetSessionEnd();
    EXPECT_EQ(Dovecot().MessageFiles(user), (std::vector<std::string>{files[1]}));
    EXPECT_TRUE(Dovecot().Commands().empty());
    ASSERT_FALSE(Store->Errors().empty());
    EXPECT_EQ(Store->Errors().back().Text, MessageGoneText);
    BarMenu("mnuButton")->close();
}

TEST_F(BarWindow, MainMenuIsDrawnInTheSkinsColoursAndOffersWhatExists) {
    AddLoopbackAccount("Home", 1, false);
    ShowBar();
    QStringList captions;
    for (QAction* action : BarMenu("mnuMain")->actions())
        captions << action->text();
    EXPECT_EQ(captions, (QStringList{"&Compose email", "&Address Book", "&Message List",
                                     "&Tasks and errors...", "", "Check email &now...", "&Options",
                                     "", "Check for &update...", "&About...", "&Help", "E&xit"}));
    EXPECT_FALSE(Command("mnuMainAddresses")->isEnabled());
    EXPECT_TRUE(Command("mnuMainOptions")->isEnabled());
    EXPECT_TRUE(Command("mnuMainAbout")->isEnabled());
    ASSERT_EQ(BarMenu("mnuMainCheckNow")->actions().size(), 3);
    EXPECT_EQ(BarMenu("mnuMainCheckNow")->actions()[2]->text(), "Home");
    QTest::mouseClick(Main.get(), Qt::LeftButton, {}, QPoint(Layout().MenuButton.Left + 2, 5));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(BarMenu("mnuMain")));
    const QImage menu = BarMenu("mnuMain")->grab().toImage();
    BarMenu("mnuMain")->close();
    EXPECT_EQ(menu.pixelColor(0, 0), SkinQColor(Skin().Menu.BorderColor));
    EXPECT_EQ(menu.pixelColor(1, menu.height() / 2), SkinQColor(Skin().Menu.NormalColor));
    // "Check for update" names the version and where updates come from; the program runs on.
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    Command("mnuMainUpdate")->trigger();
    EXPECT_TRUE(Main->isVisible());
    EXPECT_EQ(RecordedMessageBoxes().back().Caption, "Check for update...");
    EXPECT_TRUE(RecordedMessageBoxes().back().Text.contains(TfrmAbout::VersionText()));
    EXPECT_TRUE(RecordedMessageBoxes().back().Text.contains("built from source"));
}

// The menu opens the tasks window where there is something to read; the error button opens it
// on the errors even while the options dialog is open.
TEST_F(BarWindow, TasksWindowOpensFromTheMenuAndFromTheErrorButtonBesideTheOptions) {
    AddLoopbackAccount("Home", 1, false);
    ShowBar();
    auto* pcTasks = Child<QTabWidget>(*TasksWindow, "pcTasks");
    pcTasks->setCurrentIndex(1);
    Command("mnuMainTasks")->trigger();
    EXPECT_TRUE(TasksWindow->isVisible());
    EXPECT_EQ(pcTasks->currentIndex(), 0);
    TasksWindow->hide();
    Store->AddError("Broken (Home)");
    Command("mnuMainTasks")->trigger();
    EXPECT_TRUE(TasksWindow->isVisible());
    EXPECT_EQ(pcTasks->currentIndex(), 1);
    TasksWindow->hide();
    pcTasks->setCurrentIndex(0);
    Main->repaint();
    Command("mnuMainOptions")->trigger();
    auto* options = OpenChild<TfrmOptions>(*Main);
    ASSERT_NE(options, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(options));
    // Through the window system, which holds back input from windows a modal dialog blocks.
    const TBarElement& menuButton = Layout().MenuButton;
    QTest::mouseClick(Main->windowHandle(), Qt::LeftButton, {},
                      QPoint(menuButton.Left + menuButton.Width + 2, 5));
    EXPECT_TRUE(TasksWindow->isVisible());
    EXPECT_EQ(pcTasks->currentIndex(), 1);
    options->close();
}

TEST_F(BarWindow, SizeGripChangesTheWidthButNeverBelowTheMinimum) {
    ShowBar();
    Main->resize(600, Main->height());
    const int y = Main->height() / 2;
    QTest::mousePress(Main.get(), Qt::LeftButton, {}, QPoint(598, y));
    QTest::mouseMove(Main.get(), QPoint(698, y));
    QTest::mouseRelease(Main.get(), Qt::LeftButton, {}, QPoint(698, y));
    EXPECT_EQ(Main->width(), 700);
    QTest::mousePress(Main.get(), Qt::LeftButton, {}, QPoint(698, y));
    QTest::mouseMove(Main.get(), QPoint(10, y));
    QTest::mouseRelease(Main.get(), Qt::LeftButton, {}, QPoint(10, y));
    EXPECT_EQ(Main->width(), 400);
    EXPECT_EQ(Settings().Options().Width, 400);
}

// An auto-hidden bar told to hide and at once to show again slides one way only: the later
// slide replaces the one running instead of racing it frame by frame.
TEST_F(BarWindow, ALaterSlideReplacesTheOneRunning) {
    ShowBar();
    auto* dock = Child<TBarDock>(*Main, "BarDock");
    dock->AutoHide = true;
    dock->SetEdge(abeTop);
    if (dock->Edge() != abeTop)
        GTEST_SKIP() << "the bar docks only on an X display";
    const int shownTop = Main->geometry().top();
    dock->SlideBar(false);
    QTest::qWait(100);
    ASSERT_LT(Main->geometry().top(), shownTop);
    // Held shown from here on, as under the pointer: the auto-hide timer stays out of it.
    dock->Stick = true;
    dock->SlideBar(true);
    std::vector<int> tops;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1500) {
        tops.push_back(Main->geometry().top());
        QTest::qWait(5);
    }
    EXPECT_TRUE(std::is_sorted(tops.begin(), tops.end()));
    EXPECT_EQ(tops.back(), shownTop);
}

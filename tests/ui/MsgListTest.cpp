// The message list window over the real store: rows, ticks, Show all, keys, sorting, layout.
#include "GuiTest.h"

#include "DovecotServer.h"
#include "FakePOP3Server.h"
#include "bar/FMain.h"
#include "core/Folders.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/Settings.h"
#include "mime/Message.h"
#include "platform/MessageBox.h"
#include "windows/FMsgList.h"
#include "windows/FTasks.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <filesystem>

namespace {

std::string Message(const std::string& subject, const std::string& to, const std::string& date) {
    return "From: Someone <someone@example.org>\r\nTo: " + to + "\r\nSubject: " + subject +
           "\r\nDate: " + date + "\r\n\r\nBody\r\n";
}

} // namespace

class MsgList : public TGuiTest {
  protected:
    // An account of count generated messages, checked.
    void CheckMessages(int count, const std::string& name = "Home") {
        AddDovecotAccount(name, count);
        StartProgram();
        ASSERT_TRUE(WaitForJobs());
        ASSERT_EQ(List->RowCount(), count);
    }
    std::vector<int> Values() const {
        std::vector<int> values;
        for (int i = 0; i < List->RowCount(); ++i)
            values.push_back(List->EntryAt(i));
        return values;
    }
    // The list's view, and its tool bar's button named name.
    QTreeView* View() const { return Child<QTreeView>(*List, "lvMessages"); }
    QToolButton* Button(const char* name) const { return Child<QToolButton>(*List, name); }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(View(), static_cast<Qt::Key>(key), modifiers);
    }
    void SelectRow(int position) {
        QTreeView* view = View();
        view->selectionModel()->select(view->model()->index(position, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Entries as a check would announce them, without a server.
    void AddEntries(int count, int firstAccount = 0) {
        for (int i = 0; i < count; ++i) {
            TEntry entry;
            entry.Account = firstAccount + i;
            entry.MsgNum = firstAccount ? 1 : i + 1;
            entry.UID = "uid" + std::to_string(i);
            entry.Fields.Subject = "Message " + std::to_string(i);
            Store->AddEntry(entry);
        }
    }
};

TEST_F(MsgList, RemovingEntry2Of5LowersLaterValuesAndNumbers) {
    QB_NEED_DOVECOT();
    CheckMessages(5);
    Store->RemoveEntry(2);
    EXPECT_EQ(Values(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Cell(2, 0), "Test message 4");
    ASSERT_EQ(Store->Entries().size(), 4u);
    EXPECT_EQ(Store->Entries()[2].MsgNum, 3);
    EXPECT_EQ(Store->Entries()[3].MsgNum, 4);
    EXPECT_EQ(Store->Entries()[1].MsgNum, 2);
}

TEST_F(MsgList, MarkAsReadActsOnTickedRowsAndFollowsShowAll) {
    QB_NEED_DOVECOT();
    CheckMessages(3);
    EXPECT_FALSE(Button("tbMarkRead")->isEnabled());
    List->SetTicked(0, true);
    EXPECT_TRUE(Button("tbMarkRead")->isEnabled());
    EXPECT_TRUE(Button("tbDelete")->isEnabled());
    Button("tbMarkRead")->click();
    EXPECT_TRUE(Store->Entries()[0].Read);
    EXPECT_EQ(Values(), (std::vector<int>{1, 2}));
    EXPECT_FALSE(Button("tbMarkRead")->isEnabled());

    // Show all down: the read row comes back at its index, image 2.
    Button("tbShowAll")->click();
    EXPECT_EQ(Values(), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(RowRead(0));
    // Marking with Show all down keeps the row, unticked, with image 2.
    List->SetTicked(2, true);
    Key(Qt::Key_R);
    EXPECT_TRUE(Store->Entries()[2].Read);
    EXPECT_EQ(List->RowCount(), 3);
    EXPECT_TRUE(RowRead(2));
    EXPECT_FALSE(List->Ticked(2));
    // Up again: exactly the read rows go, also the one marked while it was down.
    Key(Qt::Key_H);
    EXPECT_FALSE(List->ShowAllDown());
    EXPECT_EQ(Values(), (std::vector<int>{1}));
    EXPECT_EQ(Settings().Accounts()[0].ReadList.size(), 2u);
    TIniFile ini(AppPath + "/quillbar.ini");
    EXPECT_EQ(ini.ReadString("Account=Home", "X1", ""), Store->Entries()[2].UID);
    // Marking the last row read empties the list.
    Store->MarkAllRead();
    EXPECT_EQ(List->RowCount(), 0);
}

TEST_F(MsgList, RecipientsAreCommaSeparatedOnArrivalAndBlankSeparatedWithShowAll) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    Dovecot().AddMessage(user, Message("Two", "\"Ann\" <ann@example.org>,bob@example.org",
                                       "Tue, 5 Mar 2002 14:03:07 +0100"));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(List->RowCount(), 1);
    EXPECT_EQ(Cell(0, 2), "Ann (ann@example.org), bob@example.org");
    Store->MarkRead(0);
    Button("tbShowAll")->click();
    ASSERT_EQ(List->RowCount(), 1);
    EXPECT_EQ(Cell(0, 2), "Ann (ann@example.org) bob@example.org ");
}

TEST_F(MsgList, SortingByDateOrdersByDateAndTimeNotByText) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    // As text, "10" sorts before "9" and "2" before "11"...
    for (const auto& [subject, date] :
         {std::pair{"b", "9 Jan 2010 10:00:00"}, std::pair{"c", "10 Jan 2010 09:00:00"},
          std::pair{"a", "9 Jan 2010 09:30:00"}, std::pair{"d", "2 Feb 2011 00:00:00"}})
        Dovecot().AddMessage(user, Message(subject, "x@example.org", date));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    QHeaderView* header = View()->header();
    header->sectionClicked(3);
    auto subjects = [this] {
        std::string order;
        for (int i = 0; i < List->RowCount(); ++i)
            order += Cell(i, 0).toStdString();
        return order;
    };
    EXPECT_EQ(subjects(), "abcd");
    header->sectionClicked(3);
    EXPECT_EQ(subjects(), "dcba");
    header->sectionClicked(0);
    EXPECT_EQ(subjects(), "abcd");
    EXPECT_TRUE(List->SortAscending());
    // New rows take their place in the sort order.
    Dovecot().AddMessage(user, Message("bb", "x@example.org", "1 Jan 2000 00:00:00"));
    LetSessionEnd();
    Store->CheckNow(0);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(subjects(), "abbbcd");
}

TEST_F(MsgList, SelectionKeysTickUntickAndToggle) {
    QB_NEED_DOVECOT();
    CheckMessages(3);
    auto ticks = [this] {
        std::string t;
        for (int i = 0; i < List->RowCount(); ++i)
            t += List->Ticked(i) ? '1' : '0';
        return t;
    };
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "111");
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "000");
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "000");
    SelectRow(0);
    SelectRow(2);
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "101");
    Key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "000");
    EXPECT_FALSE(Button("tbDelete")->isEnabled());
    // Delete acts only through the enabled button.
    const size_t jobs = Store->Tasks().size();
    Key(Qt::Key_Delete);
    EXPECT_EQ(Store->Tasks().size(), jobs);
    // Enter without a selected row opens nothing.
    View()->clearSelection();
    Key(Qt::Key_Return);
    EXPECT_EQ(Store->Tasks().size(), jobs);
}

TEST_F(MsgList, DeleteQueuesOneRemovalPerAccountHighestAccountFirst) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("First", 2);
    AddDovecotAccount("Second", 2);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(List->RowCount(), 4);
    for (int i = 0; i < 4; ++i)
        List->SetTicked(i, true);
    SetOption(&TOptions::DeleteConfirm, true);
    SetNextMessageBoxAnswer(QMessageBox::No);
    Button("tbDelete")->click();
    EXPECT_TRUE(Store->Tasks().empty());
    ASSERT_FALSE(RecordedMessageBoxes().empty());
    EXPECT_EQ(RecordedMessageBoxes().back().Caption, "Delete message");
    EXPECT_EQ(RecordedMessageBoxes().back().Text,
              "Are you sure you want to delete the selected messages?\r\n\r\n"
              "Note: The message will be removed from the server, \r\n"
              "this action can not be reversed!");
    SetNextMessageBoxAnswer(QMessageBox::Yes);
    // Keep the jobs queued: the worker waits while this thread does not serve it.
    Button("tbDelete")->click();
    ASSERT_EQ(Store->Tasks().size(), 2u);
    EXPECT_EQ(Store->Tasks()[0].Kind, TJobKind::RemoveSeveral);
    EXPECT_EQ(Store->Tasks()[0].Account, 1);
    EXPECT_EQ(Store->Tasks()[1].Account, 0);
    std::vector<TEntryId> second = Store->Tasks()[0].Entries;
    std::sort(second.begin(), second.end());
    EXPECT_EQ(second, (std::vector<TEntryId>{Store->Entries()[2].Id, Store->Entries()[3].Id}));
    EXPECT_FALSE(View()->isEnabled());
    EXPECT_FALSE(List->Ticked(0));
    EXPECT_EQ(Child<QTreeWidget>(*TasksWindow, "lvTasks")->topLevelItem(0)->text(0),
              "Remove multiple messages...");
    // The first job's end re-enables the list.
    EXPECT_TRUE(WaitUntil([this] { return View()->isEnabled(); }));
    EXPECT_TRUE(WaitForJobs());
}

// Another client removes the first message after the check: the ticked messages are
// removed by what they are, not by the numbers the check gave them.
TEST_F(MsgList, DeleteRemovesTheTickedMessagesAfterAnotherClientRemovedAnEarlierOne) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 5);
    SetOption(&TOptions::DeleteConfirm, false);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_TRUE(WaitUntil([this] { return List->RowCount() == 5; }));
    const std::vector<std::string> files = Dovecot().MessageFiles(user);
    Dovecot().DeleteMessage(user, files[0]);
    LetSessionEnd();
    Dovecot().ClearCommands();
    for (int row = 0; row < List->RowCount(); ++row)
        if (List->EntryAt(row) == 2 || List->EntryAt(row) == 4)
            List->SetTicked(row, true);
    Button("tbDelete")->click();
    const std::vector<std::string> left = {files[1], files[3]};
    EXPECT_TRUE(WaitUntil([&] { return Dovecot().MessageFiles(user) == left; }));
    PrintServerCommands("List Delete of the third and fifth after the first was removed");
    // The first's entry stays until a check finds it gone.
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(List->RowCount(), 3);
}

// The first open fits the columns to what they show; after that the user's layout wins. Both
// live in the program's own settings file: a portable copy writes nothing under the home.
TEST_F(MsgList, ColumnsFitTheirContentsFirstAndTheLayoutAndPlacementSurviveARestart) {
    StartProgram();
    TEntry entry;
    entry.UID = "long";
    entry.Fields.Subject = "A subject far longer than any column is wide before it is fitted";
    entry.Fields.From = "someone.with.a.long.address@mail.example.org";
    entry.Fields.To = "another.long.recipient.address@example.org";
    Store->AddEntry(entry);
    List->show();
    QHeaderView* header = View()->header();
    ASSERT_EQ(List->RowCount(), 1);
    for (int column = 0; column < header->count(); ++column) {
        const QString text = View()->model()->index(0, column).data().toString();
        const QString title = View()->model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(column), View()->fontMetrics().horizontalAdvance(text))
            << column;
        EXPECT_GE(header->sectionSize(column), header->fontMetrics().horizontalAdvance(title))
            << column;
    }
    header->moveSection(4, 0); // Account first
    header->resizeSection(1, 222);
    std::string sizes;
    for (int column = 0; column < header->count(); ++column)
        sizes += (column ? "," : "") + std::to_string(header->sectionSize(column));
    List->SortBy(3, false);
    List->setGeometry(40, 50, 600, 400);
    List->close();
    EXPECT_FALSE(List->isVisible());
    StopProgram();

    TIniFile ini(AppPath + "/quillbar.ini");
    EXPECT_EQ(ini.ReadInteger("MsgList", "FormVersion", -1), 0);
    EXPECT_NE(ini.ReadString("MsgList", "NormPos", ""), "");
    EXPECT_EQ(ini.ReadString("MsgList", "Columns/Order", ""), "4,0,1,2,3");
    EXPECT_EQ(ini.ReadString("MsgList", "Columns/Sizes", ""), sizes);
    EXPECT_EQ(ini.ReadInteger("MsgList", "Sort/SortCol", -1), 3);
    const std::string config = XdgHome("XDG_CONFIG_HOME", ".config");
    EXPECT_FALSE(std::filesystem::exists(config + "/Norvane"));
    EXPECT_FALSE(std::filesystem::exists(config + "/quillbar"));

    Settings().Load();
    StartProgram();
    header = View()->header();
    EXPECT_EQ(header->logicalIndex(0), 4);
    EXPECT_EQ(List->SortColumn(), 3);
    EXPECT_FALSE(List->SortAscending());
    List->show();
    EXPECT_EQ(header->sectionSize(1), 222);
    EXPECT_EQ(List->geometry().size(), QSize(600, 400));
}

TEST_F(MsgList, AccountsMenuChecksAllOrOneAccount) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("First", 0);
    AddDovecotAccount("Second", 0, false);
    StartProgram();
    const auto items = Child<QMenu>(*List, "mnuAccounts")->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), "&All accounts");
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[3]->text(), "Second");
    ASSERT_TRUE(WaitForJobs());
    items[3]->trigger();
    ASSERT_EQ(Store->Tasks().size(), 1u);
    EXPECT_EQ(Store->Tasks()[0].Account, 1);
    EXPECT_TRUE(TasksWindow->isVisible());
    EXPECT_EQ(Child<QTabWidget>(*TasksWindow, "pcTasks")->currentIndex(), 0);
    ASSERT_TRUE(WaitForJobs());
    Button("tbCheckNow")->click();
    ASSERT_EQ(Store->Tasks().size(), 1u);
    EXPECT_EQ(Store->Tasks()[0].Account, 0);
}

// A check that finds most of a large mailbox gone removes entry after entry; each removal
// renumbers the later rows, which must not turn into a change of every later row.
TEST_F(MsgList, RemovingManyEntriesKeepsRowsInStepWithoutRewritingThem) {
    StartProgram();
    const int count = 400;
    AddEntries(count);
    ASSERT_EQ(List->RowCount(), count);
    QSignalSpy changes(View()->model(), &QAbstractItemModel::dataChanged);
    // As a check removes what it found gone: from the last to the first.
    for (int i = count - 2; i >= 0; i -= 2)
        Store->RemoveEntry(i, false);
    EXPECT_EQ(changes.count(), 0);
    ASSERT_EQ(List->RowCount(), count / 2);
    for (int i = 0; i < List->RowCount(); ++i) {
        ASSERT_EQ(List->EntryAt(i), i);
        EXPECT_EQ(Cell(i, 0).toStdString(),
                  Store->Entries()[static_cast<size_t>(i)].Fields.Subject);
        EXPECT_EQ(RowOfEntry(i), i);
    }
    EXPECT_EQ(RowOfEntry(count / 2), -1);
}

// Windows open on the screen: a stored place on a screen that is gone is brought back, a
// first show without one is centred, and a run that never opens the list keeps its place.
TEST_F(MsgList, WindowsOpenOnTheScreenAndAnUnshownListKeepsItsPlace) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    StartProgram();
    List->show();
    EXPECT_TRUE(screen.contains(List->frameGeometry()));
    EXPECT_LE((List->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    StopProgram();

    TIniFile ini(AppPath + "/quillbar.ini");
    ini.WriteString("MsgList", "NormPos", "40,50,640,450");
    StartProgram();
    StopProgram();
    EXPECT_EQ(ini.ReadString("MsgList", "NormPos", ""), "40,50,640,450");

    ini.WriteString("MsgList", "NormPos", "5000,4000,5600,4400");
    SetOption(&TOptions::Left, 6000);
    SetOption(&TOptions::Top, 5000);
    StartProgram();
    List->show();
    EXPECT_TRUE(screen.contains(List->frameGeometry()));
    EXPECT_EQ(List->size(), QSize(600, 400));
    EXPECT_TRUE(screen.contains(Main->frameGeometry()));
    StopProgram();

    // Numbers no screen has, and a resolution that scales them further.
    ini.WriteString("MsgList", "NormPos", "-2147483648,-99999999999,2147483647,99999999999");
    ini.WriteString("MsgList", "PixelsPerInch", "1");
    SetOption(&TOptions::Width, 1);
    StartProgram();
    List->show();
    EXPECT_TRUE(screen.contains(List->frameGeometry()));
    EXPECT_EQ(Main->width(), 400);
}

// The list waits, disabled, for its removal jobs to end. A job the bar drops before it
// runs (its messages went meanwhile, or its account was removed) must end that wait too.
TEST_F(MsgList, DeleteWhoseJobIsDroppedBeforeItRunsEnablesTheListAgain) {
    TFakePOP3Server silent;
    silent.SetSilentGreeting(true);
    AddLoopbackAccount("Hung", silent.Port());
    AddLoopbackAccount("Home", silent.Port(), false);
    AddLoopbackAccount("Work", silent.Port(), false);
    SetOption(&TOptions::DeleteConfirm, false);
    StartProgram();
    // The check of "Hung" holds the worker, so the removal jobs wait behind it.
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 0; }));
    AddEntries(2, 1);

    List->SetTicked(0, true);
    Button("tbDelete")->click();
    ASSERT_EQ(Store->Tasks().size(), 2u);
    EXPECT_FALSE(View()->isEnabled());
    // A check finds the message gone: the job has nothing left to do.
    Store->RemoveEntry(0, false);
    Store->CancelTask();
    ASSERT_TRUE(WaitForJobs(20000));
    EXPECT_TRUE(WaitUntil([this] { return View()->isEnabled(); }, 2000));

    Store->CheckNow(0);
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 1; }));
    List->SetTicked(0, true);
    Button("tbDelete")->click();
    ASSERT_EQ(Store->Tasks().size(), 2u);
    EXPECT_FALSE(View()->isEnabled());
    // Its account is removed while the job waits.
    Settings().RemoveAccount(Settings().Accounts()[2].AccountName);
    ASSERT_EQ(Store->Tasks().size(), 1u);
    EXPECT_TRUE(WaitUntil([this] { return View()->isEnabled(); }, 2000));
    Store->CancelTask();
    ASSERT_TRUE(WaitForJobs(20000));
}

// The toolbar's captions are not shown: their access keys do nothing, and M opens the
// "Check email" menu whatever the modifiers.
TEST_F(MsgList, HiddenCaptionsCarryNoAccessKeysAndMOpensTheAccountMenu) {
    StartProgram();
    AddEntries(2);
    ASSERT_EQ(List->RowCount(), 2);
    List->SetTicked(0, true);
    // Shortcuts act only in the active window.
    List->show();
    List->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(List.get()));
    SetOption(&TOptions::DeleteConfirm, true);
    ClearRecordedMessageBoxes();
    Key(Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(RecordedMessageBoxes().empty());
    bool menuOpened = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            menuOpened = true;
            menu->close();
        }
    });
    Key(Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(menuOpened);
    EXPECT_FALSE(Store->Entries()[0].Read);
    EXPECT_TRUE(List->Ticked(0));
    EXPECT_TRUE(List->findChild<QToolButton*>("tbMarkRead"));
}

TEST_F(MsgList, EncodedSubjectsAndNamesShowDecodedOnTheBarAndInTheListAndSortAsText) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    const char* const date = "9 Jan 2010 10:00:00";
    Dovecot().AddMessage(user, Message("=?utf-8?b?UsOpdW5pb24=?=", "x@example.org", date));
    Dovecot().AddMessage(user, Message("banana", "x@example.org", date));
    Dovecot().AddMessage(user, Message("=?koi8-r?b?zcnS?=", "x@example.org", date));
    // A right-to-left override in a subject must not reach the bar or the list.
    Dovecot().AddMessage(user,
                         Message("=?utf-8?q?Apple_=E2=80=AEfdp.exe?=",
                                 "\"=?utf-8?q?=C3=89milie?= Durand\" <emilie@example.fr>", date));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 4u);
    EXPECT_EQ(Store->Caption(0), "Réunion (Home)");
    EXPECT_EQ(Store->Caption(3), "Apple fdp.exe (Home)");
    EXPECT_EQ(Cell(3, 2), "Émilie Durand (emilie@example.fr)");
    View()->header()->sectionClicked(0);
    std::string order;
    for (int i = 0; i < List->RowCount(); ++i)
        order += Cell(i, 0).toStdString() + "|";
    EXPECT_EQ(order, "Apple fdp.exe|banana|Réunion|мир|");
}

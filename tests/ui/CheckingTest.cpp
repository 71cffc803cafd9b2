// Mail checking end to end: the real bar, lists and worker against Dovecot.
#include "GuiTest.h"

#include "DovecotServer.h"
#include "bar/FMain.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/QuietHours.h"
#include "core/Settings.h"
#include "platform/Sound.h"
#include "windows/FMsgList.h"
#include "windows/FTasks.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>

namespace {

// A short valid wave file: 8 kHz, 8 bit, mono, 10 ms of silence.
void WriteWave(const std::string& path) {
    std::string data(80, '\x80');
    auto le32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    std::string wave = "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16) +
                       std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(8000) +
                       std::string("\x01\x00\x08\x00", 4) + "data" + le32(data.size()) + data;
    TTempDir::WriteFile(path, wave);
}

} // namespace

class Checking : public TGuiTest {};

TEST_F(Checking, StartUpQueuesOneCheckForTheActiveAccountEvenWithoutAutomaticChecking) {
    QB_NEED_DOVECOT();
    SetOption(&TOptions::IntervalCheck, false);
    AddDovecotAccount("Active", 0, true);
    AddDovecotAccount("Inactive", 0, false);
    StartProgram();
    ASSERT_EQ(Store->Tasks().size(), 1u);
    EXPECT_EQ(Store->Tasks()[0].Account, 0);
    auto* lvTasks = Child<QTreeWidget>(*TasksWindow, "lvTasks");
    EXPECT_EQ(lvTasks->topLevelItemCount(), 1);
    EXPECT_EQ(lvTasks->topLevelItem(0)->text(0), "Check email on 'Active'...");
    auto* tmrCheck = Store->findChild<QTimer*>("tmrCheck");
    ASSERT_NE(tmrCheck, nullptr);
    EXPECT_FALSE(tmrCheck->isActive());
    // A tick while the check waits adds nothing.
    QMetaObject::invokeMethod(tmrCheck, "timeout");
    EXPECT_EQ(Store->Tasks().size(), 1u);
    // By hand, the inactive account can be checked; twice queues it once.
    Store->CheckNow(1);
    Store->CheckNow(1);
    EXPECT_EQ(Store->Tasks().size(), 2u);
    EXPECT_TRUE(TasksWindow->isVisible());
    EXPECT_TRUE(WaitForJobs());
    EXPECT_FALSE(TasksWindow->isVisible());
}

TEST_F(Checking, NewUnreadMessagesBecomeEntriesAndRowsAndPlayTheSound) {
    QB_NEED_DOVECOT();
    SetOption(&TOptions::PlaySound, true);
    SetOption(&TOptions::SoundFile, Dir->File("new.wav"));
    WriteWave(Settings().Options().SoundFile);
    const int user = AddDovecotAccount("Home", 3);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const TEntry& entry = Store->Entries()[i];
        EXPECT_EQ(entry.MsgNum, i + 1);
        EXPECT_EQ(Store->Caption(i), "Test message " + std::to_string(i + 1) + " (Home)");
        EXPECT_FALSE(entry.Read);
        EXPECT_EQ(entry.UID.size(), 32u);
        EXPECT_NE(Store->Hint(i).find("Account: Home\r\nFrom: sender" + std::to_string(i + 1) +
                                      "@example.org\r\nTo: reader@example.org\r\nDate: Mon, 7 Dec"),
                  std::string::npos);
    }
    ASSERT_EQ(List->RowCount(), 3);
    EXPECT_EQ(List->EntryAt(1), 1);
    EXPECT_EQ(Cell(1, 0), "Test message 2");
    EXPECT_EQ(Cell(1, 1), "sender2@example.org");
    EXPECT_EQ(Cell(1, 2), "Reader (reader@example.org)");
    EXPECT_EQ(Cell(1, 4), "Home");
    EXPECT_FALSE(RowRead(1));
    EXPECT_EQ(PlayedSounds, (std::vector<std::string>{Settings().Options().SoundFile}));
    EXPECT_TRUE(WaitUntil([this] { return Store->ServerList(0).size() == 3; }));
    EXPECT_EQ(Store->ServerList(0)[0], Store->Entries()[0].UID);

    // A second check finds nothing new: no entry, no sound.
    Store->CheckNow(-1);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Store->Entries().size(), 3u);
    EXPECT_EQ(PlayedSounds, (std::vector<std::string>{Settings().Options().SoundFile}));

    // In quiet hours (an hour either side of now, past midnight or not) the bar shows new
    // mail without a sound.
    const QTime now = QTime::currentTime();
    const int minute = now.hour() * 60 + now.minute();
    SetOption(&TOptions::QuietHours, true);
    SetOption(&TOptions::QuietFrom, (minute + MinutesPerDay - 60) % MinutesPerDay);
    SetOption(&TOptions::QuietTo, (minute + 60) % MinutesPerDay);
    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(4));
    // The server may still hold the mailbox for the session just ended: a later check finds it.
    for (int round = 0; round < 3 && Store->Entries().size() < 4; ++round) {
        Store->CheckNow(-1);
        ASSERT_TRUE(WaitForJobs());
    }
    EXPECT_EQ(Store->Entries().size(), 4u);
    EXPECT_EQ(PlayedSounds.size(), 1u);
}

TEST_F(Checking, MessageAlreadyReadIsListedOnlyWithShowAllAndPlaysNoSound) {
    QB_NEED_DOVECOT();
    SetOption(&TOptions::PlaySound, true);
    SetOption(&TOptions::SoundFile, Dir->File("new.wav"));
    WriteWave(Settings().Options().SoundFile);
    const int user = AddDovecotAccount("Home", 1);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 1u);
    const std::string uid = Store->Entries()[0].UID;
    StopProgram();

    Settings().AddReadMark(0, QString::fromStdString(uid).toUpper().toStdString());
    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(2));
    PlayedSounds.clear();
    StartProgram();
    Child<QToolButton>(*List, "tbShowAll")->click(); // down: read rows are listed
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 2u);
    EXPECT_TRUE(Store->Entries()[0].Read);
    ASSERT_EQ(List->RowCount(), 2);
    EXPECT_TRUE(RowRead(RowOfEntry(0)));
    EXPECT_EQ(PlayedSounds.size(), 1u); // for message 2 only
    StopProgram();

    // With "Show all" up, the read message has no row, and nothing new means no sound.
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 2u);
    EXPECT_EQ(List->RowCount(), 1);
    EXPECT_EQ(List->EntryAt(0), 1);
    // Message 2 is unread and new again after a restart (the server list is not kept).
    EXPECT_EQ(PlayedSounds.size(), 2u);
}

TEST_F(Checking, WrongPasswordListsAFatalErrorWithTimeAndAccount) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("Broken", 1);
    TAccountConfig broken = Settings().Accounts()[0];
    broken.Pass = "wrong";
    Settings().EditAccount("Broken", broken);
    AddDovecotAccount("Fine", 1);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Errors().size(), 1u);
    EXPECT_EQ(Store->Errors()[0].Text,
              "Could not connect to the mail server! ([AUTH] Authentication failed) (Broken)");
    auto* errors = Child<QTreeWidget>(*TasksWindow, "lvErrors");
    ASSERT_EQ(errors->topLevelItemCount(), 1);
    EXPECT_EQ(errors->topLevelItem(0)->text(0), QString::fromStdString(Store->Errors()[0].Text));
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$")
                    .match(errors->topLevelItem(0)->text(1))
                    .hasMatch());
    EXPECT_EQ(Child<QTreeWidget>(*TasksWindow, "lvTasks")->topLevelItemCount(), 0);
    // The last job ended with errors listed: the window stays, on its error page.
    EXPECT_TRUE(TasksWindow->isVisible());
    EXPECT_EQ(Child<QTabWidget>(*TasksWindow, "pcTasks")->currentIndex(), 1);
    EXPECT_EQ(Store->Entries().size(), 1u); // the other account was checked

    // The close box hides and keeps the errors; Close clears them.
    TasksWindow->close();
    EXPECT_FALSE(TasksWindow->isVisible());
    EXPECT_EQ(Store->Errors().size(), 1u);
    TasksWindow->ShowPage(1);
    Child<QPushButton>(*TasksWindow, "cmdClose")->click();
    EXPECT_FALSE(TasksWindow->isVisible());
    EXPECT_TRUE(Store->Errors().empty());
    EXPECT_EQ(errors->topLevelItemCount(), 0);
}

// Thousands of new messages: every worker event is handled in order, and the user's
// input still gets through during the check.
TEST_F(Checking, ThousandsOfMessagesKeepTheWindowsResponsive) {
    QB_NEED_DOVECOT();
    const int count = 2000;
    AddDovecotAccount("Big", count);
    StartProgram();
    List->SortBy(0, false);
    List->show();
    Main->show();
    // The event loop keeps serving timers, and so the user's input, while the check runs.
    int answeredAt = -1;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (answeredAt < 0 && Store->Entries().size() >= count / 2)
            answeredAt = static_cast<int>(Store->Entries().size());
    });
    probe.start(5);
    ASSERT_TRUE(WaitForJobs(120000));
    ASSERT_EQ(Store->Entries().size(), static_cast<size_t>(count));
    ASSERT_EQ(List->RowCount(), count);
    EXPECT_GE(answeredAt, count / 2);
    EXPECT_LT(answeredAt, count);
    // Rows arrived in the chosen order (subject, descending).
    for (int i = 1; i < count; ++i)
        ASSERT_GE(Cell(i - 1, 0).localeAwareCompare(Cell(i, 0)), 0) << i;
}

// The real program killed with SIGKILL at random moments of its first checks: the
// settings file it leaves always reads whole, with exactly the read marks it had, or those
// its checks saved.
TEST_F(Checking, SettingsFileSurvivesAKillAtAnyMoment) {
    QB_NEED_DOVECOT_IMAP();
    namespace fs = std::filesystem;
    fs::copy_file(QB_QUILLBAR_EXE, Dir->File("quillbar"));
    fs::copy(QB_SKINS_DIR, Dir->File("Skins"), fs::copy_options::recursive);
    fs::create_directories(Dir->File("run"));
    fs::permissions(Dir->File("run"), fs::perms::owner_all);
    const std::vector<std::string> marks = {std::string(32, 'a'), std::string(32, 'b')};
    for (const char* name : {"One", "Two", "Three", "Four"}) {
        AddDovecotAccount(name, 3);
        for (const std::string& mark : marks)
            Settings().AddReadMark(Settings().IndexOf(name), mark);
    }
    // An IMAP account's check drops read marks left from POP3 days, and saves the file.
    AddDovecotIMAPAccount("Five", 1);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Dir->File("run")));
    env.insert("TMPDIR", QString::fromStdString(Dir->Path()));
    std::srand(7);
    int rewritten = 0;
    for (int round = 0; round < 8; ++round) {
        // A value the program writes back in another form, so that its saves change
        // the file.
        TIniFile(Dir->File("quillbar.ini")).WriteString("Options", "Interval", "0x5");
        TIniFile(Dir->File("quillbar.ini")).WriteString("Account=Five", "X0", marks[0]);
        const auto before = fs::last_write_time(Dir->File("quillbar.ini"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QString::fromStdString(Dir->File("quillbar")), {});
        ASSERT_TRUE(program.waitForStarted());
        QThread::msleep(50 + std::rand() % 700);
        program.kill();
        program.waitForFinished();
        rewritten += fs::last_write_time(Dir->File("quillbar.ini")) != before;

        TIniFile ini(Dir->File("quillbar.ini"));
        for (const char* name : {"One", "Two", "Three", "Four"}) {
            const std::string section = std::string("Account=") + name;
            std::vector<std::string> found;
            for (const auto& [key, value] : ini.ReadSectionValues(section))
                if (!key.empty() && key[0] == 'X')
                    found.push_back(key + "=" + value);
            EXPECT_EQ(found, (std::vector<std::string>{"X0=" + marks[0], "X1=" + marks[1]}))
                << "round " << round << ", " << name;
            EXPECT_EQ(ini.ReadString(section, "POPPort", ""),
                      std::to_string(Settings().Accounts()[0].Port));
        }
        const std::string left = ini.ReadString("Account=Five", "X0", "");
        EXPECT_TRUE(left.empty() || left == marks[0]) << "round " << round;
    }
    // Some kills came after the program had saved the marks of a check.
    EXPECT_GT(rewritten, 0);
}

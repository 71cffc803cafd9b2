// Saves of the settings file that fail: the user is told once, the changes stay in memory
// and reach the file with a later save.
#include "DialogTest.h"

#include "core/IniFile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTreeWidget>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

// While it lives no file of this process can grow, as on a full disk: writes fail with
// EFBIG instead of ending the process.
class TFullDisk {
  public:
    TFullDisk() : FOldHandler(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &FOld);
        rlimit none = FOld;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~TFullDisk() {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFullDisk(const TFullDisk&) = delete;
    TFullDisk& operator=(const TFullDisk&) = delete;

  private:
    rlimit FOld{};
    void (*FOldHandler)(int);
};

} // namespace

class SettingsSave : public TDialogTest {};

TEST_F(SettingsSave, MarkAllReadOnAFullDiskIsToldOnceKeptAndSavedAtExit) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("Home", 5);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 5u);
    {
        const TFullDisk full;
        Store->MarkAllRead();
        // Another change meets the same cause: it is not told again.
        SetOption(&TOptions::Interval, 9);
    }
    auto* lvErrors = Child<QTreeWidget>(*TasksWindow, "lvErrors");
    ASSERT_EQ(lvErrors->topLevelItemCount(), 1);
    EXPECT_TRUE(lvErrors->topLevelItem(0)->text(0).contains(std::strerror(EFBIG)));
    EXPECT_TRUE(TasksWindow->isVisible());
    EXPECT_EQ(TIniFile(SettingsFileName()).ReadString("Account=Home", "X0", ""), "");
    EXPECT_EQ(Settings().ReadMarks(0).size(), 5u);

    // The exit's save writes what the failed ones could not; the next start shows it.
    StopProgram();
    ASSERT_TRUE(Settings().Save());
    Settings().Load();
    EXPECT_EQ(Settings().Options().Interval, 9);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 5u);
    for (const TEntry& entry : Store->Entries())
        EXPECT_TRUE(entry.Read) << entry.UID;
}

TEST_F(SettingsSave, AccountAddedOnAFullDiskIsToldInABoxAndWrittenWithTheNextChange) {
    StartProgram();
    TfrmOptions* options = OpenOptions();
    Child<QPushButton>(*options, "cmdAccAdd")->click();
    TfrmAccount* account = options->AccountDialog();
    ASSERT_TRUE(account);
    Child<QLineEdit>(*account, "txtAccount")->setText("Home");
    Child<QLineEdit>(*account, "txtPOPHost")->setText("pop.example.com");
    Child<QCheckBox>(*account, "chkActive")->setChecked(false);
    {
        const TFullDisk full;
        SetNextMessageBoxAnswer(QMessageBox::Ok);
        Child<QPushButton>(*account, "cmdOK")->click();
    }
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].Icon, QMessageBox::Warning);
    EXPECT_TRUE(RecordedMessageBoxes()[0].Text.contains(std::strerror(EFBIG)));
    EXPECT_EQ(Settings().IndexOf("Home"), 0);
    EXPECT_EQ(SettingsText().find("[Account=Home]"), std::string::npos);

    // The options dialog's OK is the next change; the account goes with it.
    Child<QSpinBox>(*options, "seScroll")->setValue(7);
    Child<QPushButton>(*options, "cmdOK")->click();
    EXPECT_EQ(RecordedMessageBoxes().size(), 1u);
    const TIniFile ini(SettingsFileName());
    EXPECT_EQ(ini.ReadString("Account=Home", "POPHost", ""), "pop.example.com");
    EXPECT_EQ(ini.ReadInteger("Options", "ScrollDelay", 0), 7000);
}

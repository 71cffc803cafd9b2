// The options dialog over the real bar and store: mappings, Apply, OK and Cancel.
#include "DialogTest.h"

#include "mime/Message.h"
#include "windows/FMsgList.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSlider>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>

class OptionsDialog : public TDialogTest {
  protected:
    void AddEntry(int account, const std::string& uid) {
        TEntry entry;
        entry.Fields.Subject = uid;
        entry.UID = uid;
        entry.Account = account;
        Store->AddEntry(entry);
    }
};

TEST_F(OptionsDialog, StoredValuesShowThroughTheirMappingsAndOkStoresThemBack) {
    StartProgram();
    TfrmOptions* dialog = OpenOptions();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), "Quillbar Options");
    EXPECT_EQ(Child<QTabWidget>(*dialog, "pcOptions")->currentWidget(),
              Child<QWidget>(*dialog, "tsEmail"));
    EXPECT_EQ(Child<QSlider>(*dialog, "tbScrollSpeed")->value(), 9);
    EXPECT_EQ(Child<QSpinBox>(*dialog, "seMaxSize")->value(), 19);
    EXPECT_EQ(Child<QSpinBox>(*dialog, "seScroll")->value(), 5);
    EXPECT_EQ(Child<QListWidget>(*dialog, "lstSkins")->currentItem()->text(), "Default");
    EXPECT_FALSE(Child<QCheckBox>(*dialog, "chkAutoReport")->isEnabled());
    // Beyond this the byte count would not fit 32 bits.
    EXPECT_EQ(Child<QSpinBox>(*dialog, "seMaxSize")->maximum(), 2097151);
    Child<QSpinBox>(*dialog, "seScroll")->setValue(7);
    EXPECT_FALSE(Child<QCheckBox>(*dialog, "chkNotify")->isChecked());
    Child<QCheckBox>(*dialog, "chkNotify")->setChecked(true);
    EXPECT_FALSE(Child<QTimeEdit>(*dialog, "seQuietFrom")->isEnabled());
    Child<QCheckBox>(*dialog, "chkQuiet")->setChecked(true);
    Child<QTimeEdit>(*dialog, "seQuietTo")->setTime(QTime(6, 30));
    Child<QPushButton>(*dialog, "cmdOK")->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Settings().Options().ScrollSpeed, 1450);
    EXPECT_EQ(Settings().Options().MaxSize, 19456);
    EXPECT_EQ(Settings().Options().ScrollDelay, 7000);
    EXPECT_TRUE(Settings().Options().Notify);
    EXPECT_TRUE(Settings().Options().QuietHours);
    EXPECT_EQ(Settings().Options().QuietFrom, 22 * 60);
    EXPECT_EQ(Settings().Options().QuietTo, 6 * 60 + 30);
    EXPECT_EQ(Child<QTimer>(*Main, "tmrScrollDelay")->interval(), 7000);
    EXPECT_EQ(Child<QTimer>(*Main, "tmrScroll")->interval(), 1450);
    // Saved: what the next start reads.
    TOptions saved;
    std::vector<TAccount> accounts;
    LoadSettings(saved, accounts);
    EXPECT_EQ(saved, Settings().Options());
}

TEST_F(OptionsDialog, CancelKeepsOptionsAndApplyPutsTimersIntoEffect) {
    StartProgram();
    TfrmOptions* dialog = OpenOptions();
    Child<QCheckBox>(*dialog, "chkInterval")->setChecked(true);
    Child<QSpinBox>(*dialog, "seMinutes")->setValue(3);
    Child<QSlider>(*dialog, "tbScrollSpeed")->setValue(10);
    Child<QPushButton>(*dialog, "cmdCancel")->click();
    EXPECT_EQ(Settings().Options(), TOptions());
    const auto* tmrCheck = Store->findChild<QTimer*>("tmrCheck");
    ASSERT_NE(tmrCheck, nullptr);
    EXPECT_FALSE(tmrCheck->isActive());

    dialog = OpenOptions();
    Child<QCheckBox>(*dialog, "chkInterval")->setChecked(true);
    Child<QSpinBox>(*dialog, "seMinutes")->setValue(3);
    Child<QSlider>(*dialog, "tbScrollSpeed")->setValue(10);
    Child<QPushButton>(*dialog, "cmdApply")->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(tmrCheck->isActive());
    EXPECT_EQ(tmrCheck->interval(), 3 * 60000);
    EXPECT_EQ(Child<QTimer>(*Main, "tmrScroll")->interval(), 500);
    // Cancel after Apply keeps what Apply stored.
    Child<QPushButton>(*dialog, "cmdCancel")->click();
    EXPECT_EQ(Settings().Options().ScrollSpeed, 500);
}

TEST_F(OptionsDialog, OnlyAnotherSkinIsLoadedAndItChangesTheBarsHeight) {
    StartProgram();
    Main->show();
    const int height = Main->height();
    TfrmOptions* dialog = OpenOptions();
    // A reload would restore the height this marks.
    Skin().Height = 999;
    Child<QPushButton>(*dialog, "cmdApply")->click();
    EXPECT_EQ(Skin().Height, 999);
    Skin().Height = height;
    Child<QListWidget>(*dialog, "lstSkins")
        ->setCurrentRow(static_cast<int>(std::find(SkinNames.begin(), SkinNames.end(), "Tall") -
                                         SkinNames.begin()));
    ASSERT_FALSE(Child<QLabel>(*dialog, "imgPreview")->pixmap().isNull());
    Child<QPushButton>(*dialog, "cmdApply")->click();
    EXPECT_EQ(Settings().Options().Skin, "Tall");
    EXPECT_EQ(Skin().Height, TallHeight);
    EXPECT_EQ(Main->height(), TallHeight);
}

TEST_F(OptionsDialog, SkinWithoutAButtonMiddleStillGetsAPreview) {
    // Borders wider than a third of the button leave no middle piece.
    std::string ini = TTempDir::ReadFile(AppPath + "/Skins/Graphite/skin.ini");
    ini.replace(ini.find("Border.Left=4"), 13, "Border.Left=40");
    TTempDir::WriteFile(AppPath + "/Skins/Graphite/skin.ini", ini);
    StartProgram();
    TfrmOptions* dialog = OpenOptions();
    Child<QListWidget>(*dialog, "lstSkins")
        ->setCurrentRow(static_cast<int>(std::find(SkinNames.begin(), SkinNames.end(), "Graphite") -
                                         SkinNames.begin()));
    EXPECT_FALSE(Child<QLabel>(*dialog, "imgPreview")->pixmap().isNull());
    Child<QSpinBox>(*dialog, "seButtonWidth")->setValue(120);
    Child<QPushButton>(*dialog, "cmdOK")->click();
    EXPECT_EQ(Settings().Options().ButtonWidth, 120);
}

TEST_F(OptionsDialog, UntickingTheSizeLimitDisablesItsFieldsAndLiftsTheLimit) {
    SetOption(&TOptions::MaxWarning, true);
    StartProgram();
    TfrmOptions* dialog = OpenOptions();
    EXPECT_TRUE(Child<QSpinBox>(*dialog, "seMaxLines")->isEnabled());
    Child<QCheckBox>(*dialog, "chkMaxWarning")->setChecked(false);
    EXPECT_FALSE(Child<QSpinBox>(*dialog, "seMaxSize")->isEnabled());
    EXPECT_FALSE(Child<QSpinBox>(*dialog, "seMaxLines")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(*dialog, "chkMaxAsk")->isEnabled());
    Child<QPushButton>(*dialog, "cmdOK")->click();
    EXPECT_FALSE(Settings().Options().MaxWarning);
}

TEST_F(OptionsDialog, RemovingAnAccountRemovesItsEntriesRowsAndMenuItems) {
    AddLoopbackAccount("Home", 1, false);
    AddLoopbackAccount("Work", 1, false);
    StartProgram();
    AddEntry(0, "home-1");
    AddEntry(1, "work-1");
    AddEntry(0, "home-2");
    ASSERT_EQ(List->RowCount(), 3);
    TfrmOptions* dialog = OpenOptions();
    auto* lvAccounts = Child<QTreeWidget>(*dialog, "lvAccounts");
    ASSERT_EQ(lvAccounts->topLevelItemCount(), 2);
    lvAccounts->setCurrentItem(lvAccounts->topLevelItem(0));
    SetNextMessageBoxAnswer(QMessageBox::Yes);
    QTest::keyClick(lvAccounts, Qt::Key_Delete);
    EXPECT_EQ(RecordedMessageBoxes().back().Text,
              "Are you sure you want to remove the account 'Home'?");
    ASSERT_EQ(Settings().Accounts().size(), 1u);
    EXPECT_EQ(lvAccounts->topLevelItemCount(), 1);
    ASSERT_EQ(Store->Entries().size(), 1u);
    EXPECT_EQ(Store->Entries()[0].UID, "work-1");
    EXPECT_EQ(Store->Entries()[0].Account, 0);
    EXPECT_EQ(List->RowCount(), 1);
    auto* checkNow = Child<QMenu>(*Main, "mnuMainCheckNow");
    ASSERT_EQ(checkNow->actions().size(), 3);
    EXPECT_EQ(checkNow->actions()[2]->text(), "Work");
    // The message list offers the very same commands.
    EXPECT_EQ(Child<QMenu>(*List, "mnuAccounts")->actions(), checkNow->actions());
    // Cancel does not bring it back: the removal was saved at once.
    Child<QPushButton>(*dialog, "cmdCancel")->click();
    EXPECT_EQ(SettingsText().find("Home"), std::string::npos);
}

TEST_F(OptionsDialog, StartingAtLoginWritesAndRemovesTheAutostartEntry) {
    const bool configSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir->File("config with blanks")));
    const QString entry =
        QString::fromStdString(Dir->File("config with blanks")) + "/autostart/quillbar.desktop";
    StartProgram();
    TfrmOptions* dialog = OpenOptions();
    EXPECT_FALSE(Child<QCheckBox>(*dialog, "chkAutostart")->isChecked());
    Child<QCheckBox>(*dialog, "chkAutostart")->setChecked(true);
    Child<QPushButton>(*dialog, "cmdOK")->click();
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"))
        << text.toStdString();

    dialog = OpenOptions();
    EXPECT_TRUE(Child<QCheckBox>(*dialog, "chkAutostart")->isChecked());
    Child<QCheckBox>(*dialog, "chkAutostart")->setChecked(false);
    Child<QPushButton>(*dialog, "cmdOK")->click();
    EXPECT_FALSE(QFile::exists(entry));
    if (configSet)
        qputenv("XDG_CONFIG_HOME", config);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(OptionsDialog, TrayIconShowsWhereTheBarCannotDockUntilTheUserChooses) {
    StartProgram();
    auto* icon = Main->findChild<QSystemTrayIcon*>();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->contextMenu(), Child<QMenu>(*Main, "mnuMain"));
    // Nothing docks on the offscreen platform.
    EXPECT_TRUE(icon->isVisible());
    TfrmOptions* dialog = OpenOptions();
    EXPECT_TRUE(Child<QCheckBox>(*dialog, "chkTrayIcon")->isChecked());
    Child<QPushButton>(*dialog, "cmdOK")->click();
    EXPECT_FALSE(Settings().Options().TrayIcon.has_value()) << "an untouched box made a choice";

    dialog = OpenOptions();
    Child<QCheckBox>(*dialog, "chkTrayIcon")->setChecked(false);
    Child<QPushButton>(*dialog, "cmdApply")->click();
    EXPECT_FALSE(icon->isVisible());
    Child<QCheckBox>(*dialog, "chkTrayIcon")->setChecked(true);
    Child<QPushButton>(*dialog, "cmdOK")->click();
    EXPECT_TRUE(icon->isVisible());
    QFile file(QString::fromStdString(SettingsFileName()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\nTrayIcon=1\n"));
}

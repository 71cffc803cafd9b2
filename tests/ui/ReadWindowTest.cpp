// The reading path through the real windows against Dovecot: opening, the cache file,
// the size question, removal, navigation and attachments.
#include "GuiTest.h"

#include "FakePOP3Server.h"
#include "cache/CacheFiles.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/Settings.h"
#include "mime/AttachmentName.h"
#include "mime/MessageText.h"
#include "platform/MessageBox.h"
#include "platform/PrivateFolder.h"
#include "windows/FAttachment.h"
#include "windows/Placement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace {

// Records the URLs the desktop would have opened.
class TUrlCatcher : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> Urls;
  public slots:
    void Catch(const QUrl& url) { Urls.push_back(url); }
};

std::string Padded(int n, size_t size) {
    std::string text = TDovecotServer::GenerateMessage(n, 0);
    const std::string line(70, 'x');
    while (text.size() + line.size() + 2 <= size)
        text += line + "\r\n";
    text += std::string(size - text.size() - 2, 'y') + "\r\n";
    return text;
}

std::string AttachmentPart(const std::string& parameters, const std::string& content) {
    return "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; " +
           parameters + "\r\n\r\n" + content + "\r\n";
}

// A message with one attachment "content of <name>" per name, then the parts in more.
std::string WithAttachments(const std::vector<std::string>& names, const std::string& more = "") {
    std::string text = "From: Ann <ann@example.org>\r\nTo: Bob <bob@example.org>, "
                       "carl@example.org\r\nSubject: Files\r\nX-Priority: 1\r\n"
                       "MIME-Version: 1.0\r\n"
                       "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                       "--b\r\nContent-Type: text/plain\r\n\r\nSee https://example.org/x here.\r\n";
    for (const std::string& name : names)
        text += AttachmentPart("filename=\"" + name + "\"", "content of " + name);
    return text + more + "--b--\r\n";
}

bool HasCommand(const std::vector<std::string>& commands, const std::string& command) {
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

// Maildir names without their flags: a message read by RETR is marked seen when its session
// ends, which may come before or after a look at the folder.
std::vector<std::string> Unflagged(std::vector<std::string> files) {
    for (std::string& name : files)
        name = name.substr(0, name.find(':'));
    return files;
}

std::string CacheBytes(const std::string& account, const std::string& uid) {
    return TTempDir::ReadFile(CacheFileName(account, uid));
}

} // namespace

class ReadWindow : public TGuiTest {
  protected:
    void SetUp() override {
        TGuiTest::SetUp();
        SetOption(&TOptions::DeleteConfirm, false);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(Dir->Path()));
        for (const char* scheme : {"file", "mailto", "https"})
            QDesktopServices::setUrlHandler(scheme, &Urls, "Catch");
    }
    void TearDown() override {
        for (const char* scheme : {"file", "mailto", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
        TGuiTest::TearDown();
    }
    // Opens the list's row at position as Return in the list does.
    void OpenRow(int position) {
        QTreeView* view = Child<QTreeView>(*List, "lvMessages");
        ASSERT_TRUE(WaitUntil([&] { return view->model()->rowCount() > position; }));
        view->selectionModel()->setCurrentIndex(view->model()->index(position, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        QTest::keyClick(view, Qt::Key_Return);
    }
    // Waits until the read window shows a message and no job is left.
    bool Shown() {
        return WaitForJobs() &&
               WaitUntil([this] { return Read->isVisible() && Button("tbMarkRead")->isEnabled(); });
    }
    // The read window's tool bar button named name, its views and its attachment menu.
    QToolButton* Button(const char* name) const { return Child<QToolButton>(*Read, name); }
    QTextBrowser* Body() const { return Child<QTextBrowser>(*Read, "rtfBody"); }
    QPlainTextEdit* Source() const { return Child<QPlainTextEdit>(*Read, "rtfSource"); }
    QMenu* Attachments() const { return Child<QMenu>(*Read, "mnuAttachments"); }
    QStringList MenuNames() const {
        QStringList names;
        for (QAction* item : Attachments()->actions())
            names << item->text();
        return names;
    }
    // Chooses the attachment menu's item at position; a prompt is answered by answer, else
    // cancelled. Returns the prompt's text, empty when none came.
    std::string Choose(int position, const std::function<int(TfrmAttachment&)>& answer = nullptr) {
        std::string asked;
        TfrmAttachment::SetNextAnswer([&](TfrmAttachment& prompt) {
            asked = Child<QLabel>(prompt, "lblFile")->text().toStdString();
            return answer ? answer(prompt) : int(QDialog::Rejected);
        });
        Attachments()->actions().at(position)->trigger();
        TfrmAttachment::SetNextAnswer(nullptr);
        return asked;
    }
    std::string ShownUID() const {
        return Store->Entries()[Store->IndexOf(Store->Reader().Shown())].UID;
    }
    std::string UIDAt(int position) const { return Store->Entries()[List->EntryAt(position)].UID; }

    TUrlCatcher Urls;
};

TEST_F(ReadWindow, OpenRetrievesOnceIntoTheCacheAndReopensWithoutTheServer) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 2);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    Dovecot().ClearCommands();
    OpenRow(0);
    ASSERT_TRUE(Shown());
    EXPECT_TRUE(HasCommand(Dovecot().Commands(), "RETR 1"));
    EXPECT_EQ(Read->windowTitle(), "1. Test message 1 (First message)");
    EXPECT_TRUE(Source()->toPlainText().contains("Subject: Test message 1"));
    EXPECT_EQ(Child<QLineEdit>(*Read, "txtFrom")->text(), "Sender 1 (sender1@example.org)");
    EXPECT_FALSE(Button("tbDownload")->isEnabled());
    const std::string bytes = CacheBytes("Home", ShownUID());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes[0], 1);
    EXPECT_NE(bytes.find("\r\nSubject: Test message 1\r\n"), std::string::npos);
    EXPECT_EQ(Dovecot().MessageCount(user), 2);

    Read->close();
    Dovecot().ClearCommands();
    LetSessionEnd();
    OpenRow(0);
    ASSERT_TRUE(Shown());
    EXPECT_TRUE(Dovecot().Commands().empty());
    EXPECT_FALSE(Button("tbDownload")->isEnabled());
    EXPECT_FALSE(Child<QAction>(*Read, "mnuToolsDownload")->isEnabled());
}

TEST_F(ReadWindow, LargeMessageAsksThenFetchesTheTopAndDownloadAllFetchesTheRest) {
    QB_NEED_DOVECOT();
    SetOption(&TOptions::MaxWarning, true);
    SetOption(&TOptions::MaxSize, 20000);
    SetOption(&TOptions::MaxLines, 200);
    SetOption(&TOptions::MaxAsk, true);
    const int user = AddDovecotAccount("Home", 0);
    Dovecot().AddMessage(user, Padded(1, 51200));
    Dovecot().AddMessage(user, Padded(2, 51200));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ClearRecordedMessageBoxes();
    Dovecot().ClearCommands();

    SetNextMessageBoxAnswer(QMessageBox::Yes);
    OpenRow(0);
    ASSERT_TRUE(Shown());
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].Text,
              "The message is larger than 19 kb (50 kb), do you want to download only the "
              "first 200 lines?");
    EXPECT_EQ(RecordedMessageBoxes()[0].Caption, "Retrieve message");
    EXPECT_TRUE(HasCommand(Dovecot().Commands(), "TOP 1 200"));
    EXPECT_EQ(CacheBytes("Home", ShownUID())[0], 0);
    EXPECT_TRUE(Button("tbDownload")->isEnabled());

    // Ctrl+D is "Download full message": no question this time.
    EXPECT_EQ(Child<QAction>(*Read, "mnuToolsDownload")->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_D));
    Child<QAction>(*Read, "mnuToolsDownload")->trigger();
    ASSERT_TRUE(Shown());
    EXPECT_TRUE(HasCommand(Dovecot().Commands(), "RETR 1"));
    EXPECT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(CacheBytes("Home", ShownUID())[0], 1);
    EXPECT_FALSE(Button("tbDownload")->isEnabled());

    SetNextMessageBoxAnswer(QMessageBox::Cancel);
    OpenRow(1);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(RecordedMessageBoxes().size(), 2u);
    EXPECT_TRUE(Store->Tasks().empty());
    EXPECT_FALSE(std::filesystem::exists(CacheFileName("Home", UIDAt(1))));
}

TEST_F(ReadWindow, DeleteShowsTheMessageInItsPlaceAndTheLastLeavesTheWindow) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 5);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    const std::string fourth = UIDAt(3);
    OpenRow(2);
    ASSERT_TRUE(Shown());
    Button("tbDelete")->click();
    ASSERT_TRUE(Shown());
    EXPECT_TRUE(HasCommand(Dovecot().Commands(), "DELE 3"));
    EXPECT_EQ(List->RowCount(), 4);
    EXPECT_EQ(ShownUID(), fourth);

    // The last one gives way to the one before it.
    const std::string third = UIDAt(2);
    OpenRow(3);
    ASSERT_TRUE(Shown());
    Button("tbDelete")->click();
    ASSERT_TRUE(Shown());
    EXPECT_EQ(ShownUID(), third);

    // With no other unread message left, the window goes.
    for (int i = 0; i < 2; ++i)
        Store->MarkRead(List->EntryAt(0));
    ASSERT_EQ(List->RowCount(), 1);
    OpenRow(0);
    ASSERT_TRUE(Shown());
    Button("tbDelete")->click();
    ASSERT_TRUE(WaitForJobs());
    EXPECT_TRUE(WaitUntil([this] { return !Read->isVisible(); }));
    EXPECT_TRUE(WaitUntil([&] { return Dovecot().MessageCount(user) == 2; }));
}

// Another client removes earlier messages while the program knows the old numbers: opening
// and deleting act on the message shown, never on the one that took its number or position.
TEST_F(ReadWindow, OpenAndDeleteActOnTheShownMessageAfterAnotherClientRemovedEarlierOnes) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 5);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    const std::vector<std::string> files = Dovecot().MessageFiles(user);
    const std::string third = UIDAt(2), fourth = UIDAt(3);

    // The first goes; no check has run, so the program still calls the third number 3.
    Dovecot().DeleteMessage(user, files[0]);
    LetSessionEnd();
    Dovecot().ClearCommands();
    OpenRow(2);
    ASSERT_TRUE(Shown());
    EXPECT_EQ(ShownUID(), third);
    EXPECT_TRUE(Source()->toPlainText().contains("Subject: Test message 3"));
    EXPECT_NE(CacheBytes("Home", third).find("Test message 3"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(CacheFileName("Home", fourth)));
    Button("tbDelete")->click();
    ASSERT_TRUE(Shown());
    EXPECT_EQ(Unflagged(Dovecot().MessageFiles(user)), Unflagged({files[1], files[3], files[4]}));
    // The message in its place is the fourth, fetched as such.
    EXPECT_EQ(ShownUID(), fourth);
    EXPECT_TRUE(Source()->toPlainText().contains("Subject: Test message 4"));
    PrintServerCommands("Open and delete the third after the first was removed");

    // The second goes and a check drops its entry (and the first's): the shown message
    // moves up in the store while the window stays on it.
    Dovecot().DeleteMessage(user, files[1]);
    LetSessionEnd();
    Store->CheckNow(0);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Reader().ShownIndex(), 0);
    Button("tbDelete")->click();
    ASSERT_TRUE(Shown());
    EXPECT_EQ(Unflagged(Dovecot().MessageFiles(user)), Unflagged({files[4]}));
    EXPECT_TRUE(Source()->toPlainText().contains("Subject: Test message 5"));
    PrintServerCommands("Check, then delete the fourth after the second was removed");
}

TEST_F(ReadWindow, NavigationWrapsAroundAndMarkReadOnTheLastOpensTheFirst) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("Home", 3);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    const std::string first = UIDAt(0);
    const std::string last = UIDAt(2);
    OpenRow(2);
    ASSERT_TRUE(Shown());
    EXPECT_TRUE(Read->windowTitle().endsWith("(Last message)"));
    // The placement lives in its own section, written when the window closes.
    Read->close();
    EXPECT_NE(TIniFile(AppPath + "/quillbar.ini").ReadString("Reader", "NormPos", ""), "");
    OpenRow(2);
    ASSERT_TRUE(Shown());
    Button("tbNext")->click();
    ASSERT_TRUE(Shown());
    EXPECT_EQ(ShownUID(), first);
    Button("tbPrevious")->click();
    ASSERT_TRUE(Shown());
    EXPECT_EQ(ShownUID(), last);
    Button("tbMarkRead")->click();
    ASSERT_TRUE(Shown());
    EXPECT_EQ(ShownUID(), first);
    EXPECT_EQ(List->RowCount(), 2);
}

TEST_F(ReadWindow, HeadersBannerLinksAndReplyAllShowTheMessage) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    Dovecot().AddMessage(user, WithAttachments({}));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    OpenRow(0);
    ASSERT_TRUE(Shown());
    EXPECT_TRUE(Body()->toHtml().contains("href=\"https://example.org/x\""));
    EXPECT_FALSE(Child<QWidget>(*Read, "pnlDecoding")->isVisible());
    EXPECT_TRUE(Child<QWidget>(*Read, "pnlPriority")->isVisible());
    EXPECT_EQ(Child<QLabel>(*Read, "lblPriority")->text(), "This message has High Priority");
    EXPECT_EQ(Child<QLineEdit>(*Read, "txtTo")->text(), "Bob (bob@example.org), carl@example.org");
    EXPECT_EQ(Read->SourceLink().toStdString(),
              std::string(WhoisServiceUrl) + "/cgi-bin/proxy.cgi?query=(unknown)&targetnic=auto");
    Button("tbReplyAll")->click();
    ASSERT_EQ(Urls.Urls.size(), 1u);
    EXPECT_EQ(Urls.Urls[0].toString(QUrl::FullyEncoded).toStdString(),
              "mailto:ann@example.org,bob@example.org,carl@example.org?subject=Re%3A%20Files");
    EXPECT_FALSE(Button("tbForward")->isEnabled());
    EXPECT_FALSE(Button("tbRedirect")->isEnabled());
}

TEST_F(ReadWindow, AttachmentActionsAreRememberedByTheShownNamesLowerCaseExtension) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    Dovecot().AddMessage(
        user, WithAttachments(
                  {"../../x.PDF", "report.pdf", "NOTES.TXT", "README"},
                  AttachmentPart("filename=\"evil.txt\"; filename*=UTF-8''evil.desktop", "evil")));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    OpenRow(0);
    ASSERT_TRUE(Shown());
    EXPECT_EQ(MenuNames().join("|"), "x.PDF|report.pdf|NOTES.TXT|README|evil.desktop");
    SetOption(&TOptions::Attachments, std::vector<TExtension>{{".txt", TAttachmentAction::Open}});
    QString savePreset;
    const std::string saved = Dir->Path() + "/saved";
    Read->AskSaveFileName = [&](const QString& preset) {
        savePreset = preset;
        return QString::fromStdString(saved);
    };
    const auto remembered = [](const char* option) {
        return [option](TfrmAttachment& prompt) {
            Child<QRadioButton>(prompt, option)->setChecked(true);
            Child<QCheckBox>(prompt, "chkAsk")->setChecked(true);
            return int(QDialog::Accepted);
        };
    };

    // ".txt" opens at once, whatever the case; the file goes into the private folder.
    EXPECT_EQ(Choose(2), "");
    ASSERT_EQ(Urls.Urls.size(), 1u);
    EXPECT_EQ(Urls.Urls[0].toLocalFile().toStdString(), PrivateFolder() + "/NOTES.TXT");
    EXPECT_EQ(TTempDir::ReadFile(PrivateFolder() + "/NOTES.TXT"), "content of NOTES.TXT\r\n");
    // Its raw name ends in ".txt", its shown name in ".desktop": asked; Cancel remembers
    // nothing even with the box ticked.
    const std::string asked = Choose(4, [](TfrmAttachment& prompt) {
        Child<QCheckBox>(prompt, "chkAsk")->setChecked(true);
        return int(QDialog::Rejected);
    });
    EXPECT_NE(asked.find("'evil.desktop'"), std::string::npos) << asked;
    EXPECT_EQ(Urls.Urls.size(), 1u);
    EXPECT_EQ(Settings().Options().Attachments.size(), 1u);
    // Save, remembered in lower case: another ".pdf" goes to the save dialog at once.
    EXPECT_NE(Choose(0, remembered("optSave")), "");
    EXPECT_EQ(savePreset, "x.PDF");
    EXPECT_EQ(TTempDir::ReadFile(saved), "content of ../../x.PDF\r\n");
    EXPECT_EQ(Settings().Options().Attachments.back(),
              (TExtension{".pdf", TAttachmentAction::Save}));
    EXPECT_EQ(Choose(1), "");
    EXPECT_EQ(savePreset, "report.pdf");
    EXPECT_EQ(TTempDir::ReadFile(saved), "content of report.pdf\r\n");
    // A name without an extension is never remembered.
    EXPECT_NE(Choose(3, remembered("optOpen")), "");
    EXPECT_EQ(Urls.Urls.size(), 2u);
    EXPECT_EQ(Settings().Options().Attachments.size(), 2u);
    EXPECT_NE(Choose(3), "");
}

// The prompt and the save dialog wait in event loops while the window may move on to
// another message: the attachment written is still the one chosen.
TEST_F(ReadWindow, TheChosenAttachmentIsWrittenAfterTheWindowMovedOnToAnotherMessage) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    Dovecot().AddMessage(user, WithAttachments({"first.txt"}));
    Dovecot().AddMessage(user, WithAttachments({"other.exe"}));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    const auto showRow = [&](int row) {
        OpenRow(row);
        EXPECT_TRUE(Shown());
        return MenuNames().value(0).toStdString();
    };
    const std::string first = showRow(0);
    std::string second;
    Choose(0, [&](TfrmAttachment& prompt) {
        second = showRow(1);
        Child<QRadioButton>(prompt, "optOpen")->setChecked(true);
        return int(QDialog::Accepted);
    });
    ASSERT_NE(second, first);
    ASSERT_EQ(Urls.Urls.size(), 1u);
    EXPECT_EQ(Urls.Urls[0].toLocalFile().toStdString(), PrivateFolder() + "/" + first);
    EXPECT_EQ(TTempDir::ReadFile(PrivateFolder() + "/" + first), "content of " + first + "\r\n");

    // Saved from the second while the save dialog waits and the first comes back.
    const std::string saved = Dir->Path() + "/saved";
    Read->AskSaveFileName = [&](const QString& preset) {
        EXPECT_EQ(preset.toStdString(), second);
        EXPECT_EQ(showRow(0), first);
        return QString::fromStdString(saved);
    };
    Choose(0, [](TfrmAttachment&) { return int(QDialog::Accepted); });
    EXPECT_EQ(TTempDir::ReadFile(saved), "content of " + second + "\r\n");
}

TEST_F(ReadWindow, TheAttachmentPromptShortensALongNameInTheMiddleAndItsAccessKeysDiffer) {
    TfrmAttachment longPrompt(nullptr, QString(290, 'n') + ".desktop");
    TfrmAttachment shortPrompt(nullptr, "a.txt");
    for (TfrmAttachment* prompt : {&longPrompt, &shortPrompt}) {
        prompt->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(prompt));
    }
    EXPECT_EQ(longPrompt.width(), shortPrompt.width());
    const QString text = Child<QLabel>(longPrompt, "lblFile")->text();
    EXPECT_TRUE(text.contains(QChar(0x2026)) && text.contains("n.desktop'")) << text.toStdString();
    QList<QKeySequence> keys;
    for (QAbstractButton* button : longPrompt.findChildren<QAbstractButton*>()) {
        const QKeySequence key = QKeySequence::mnemonic(button->text());
        if (key.isEmpty())
            continue;
        EXPECT_FALSE(keys.contains(key)) << button->text().toStdString();
        keys << key;
    }
}

TEST_F(ReadWindow, TheAttachmentPromptGrowsToShowItsTextsInALargerFont) {
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSizeF(usual.pointSizeF() * 1.8);
    QApplication::setFont(large);
    {
        TfrmAttachment prompt(nullptr, "a.txt");
        prompt.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&prompt));
        for (const char* name : {"lblFile", "lblVirus"}) {
            const QLabel* label = Child<QLabel>(prompt, name);
            EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        }
    }
    QApplication::setFont(usual);
}

TEST(AttachmentFiles, UntrustedNamesAndPlantedLinksStayInsideThePrivateFolder) {
    TTempDir dir;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.Path()));
    const std::string folder = PrivateFolder();
    EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    const std::string outside = dir.Path() + "/outside.txt";
    TTempDir::WriteFile(outside, "keep");
    std::filesystem::create_symlink(outside, folder + "/planted.txt");
    const std::string names[] = {"../../x",
                                 "/etc/passwd",
                                 std::string("a\0b.txt", 7),
                                 ".bashrc",
                                 "",
                                 std::string(1000, 'n') + ".txt",
                                 "planted.txt"};
    for (const std::string& name : names) {
        const std::string safe = SafeFileName(name);
        EXPECT_LE(safe.size(), 255u);
        const std::filesystem::path path = WritePrivateFile(safe, "data");
        EXPECT_EQ(path.parent_path().string(), folder) << name;
        EXPECT_FALSE(std::filesystem::is_symlink(path));
        EXPECT_EQ(TTempDir::ReadFile(path.string()), "data");
    }
    EXPECT_EQ(SafeFileName("../../x"), "x");
    EXPECT_EQ(SafeFileName("/etc/passwd"), "passwd");
    EXPECT_EQ(SafeFileName(std::string("a\0b.txt", 7)), "ab.txt");
    EXPECT_EQ(SafeFileName(".bashrc"), "bashrc");
    EXPECT_EQ(SafeFileName(""), "attachment");
    EXPECT_TRUE(SafeFileName(std::string(1000, 'n') + ".txt").ends_with(".txt"));
    EXPECT_EQ(SafeFileName(".."), "attachment");
    EXPECT_EQ(SafeFileName("Überblick.txt"), "Überblick.txt");
    // Cut to 255 bytes, never inside a character.
    std::string long_name;
    for (int i = 0; i < 200; ++i)
        long_name += "é";
    const std::string cut = SafeFileName(long_name + ".pdf");
    EXPECT_LE(cut.size(), 255u);
    EXPECT_TRUE(QString::fromUtf8(cut.data(), static_cast<int>(cut.size())).toUtf8() ==
                QByteArray(cut.data(), static_cast<int>(cut.size())));
    EXPECT_EQ(TTempDir::ReadFile(outside), "keep");
    // A second file of one name gets a numbered name; the first stays.
    EXPECT_EQ(WritePrivateFile("x", "other"), folder + "/x (2)");
    EXPECT_EQ(TTempDir::ReadFile(folder + "/x"), "data");
}

#include "ReadWindowTest.moc"

// An HTML-only message shows its text with entities resolved, as the tools do; Reply All
// answers Reply-To and leaves out the user's own address.
TEST_F(ReadWindow, HtmlBodyAndReplyAllAsTheReaderExpects) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    Dovecot().AddMessage(user, "From: Ann <ann@example.org>\r\nReply-To: list@example.org\r\n"
                               "To: user@example.com, bob@example.org\r\nSubject: Menu\r\n"
                               "Content-Type: text/html; charset=utf-8\r\n\r\n"
                               "<p>Caf&eacute; &amp; cr&#232;me</p>\r\n");
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    OpenRow(0);
    ASSERT_TRUE(Shown());
    EXPECT_TRUE(Body()->toPlainText().contains(QString::fromUtf8("Caf\xc3\xa9 & cr\xc3\xa8me")));
    Button("tbReplyAll")->click();
    ASSERT_EQ(Urls.Urls.size(), 1u);
    EXPECT_EQ(Urls.Urls[0].toString(QUrl::FullyEncoded).toStdString(),
              "mailto:list@example.org,bob@example.org?subject=Re%3A%20Menu");
}

// A message with hundreds of attachments: their menu scrolls within the screen.
// Where the window manager leaves the docked bar in the available area, windows keep clear of
// it themselves; a stored place larger than the screen and partly off it is shrunk and moved in.
TEST_F(ReadWindow, WindowsOpenWhollyOnTheScreenBesideTheDockedBar) {
    TIniFile ini(AppPath + "/quillbar.ini");
    ini.WriteString("Reader", "FormVersion", "0");
    ini.WriteString("Reader", "NormPos", "-300,-200,5000,4000");
    StartProgram();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    SetDockedBarRect(QRect(screen.left(), screen.top(), screen.width(), 40));
    const QRect area = screen.adjusted(0, 40, 0, 0);
    Read->show();
    EXPECT_TRUE(area.contains(Read->frameGeometry()));
    TasksWindow->show();
    EXPECT_TRUE(area.contains(TasksWindow->frameGeometry()));
    SetDockedBarRect({});
}

TEST_F(ReadWindow, LongAttachmentMenuStaysWithinTheScreen) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    std::vector<std::string> names;
    for (int i = 0; i < 400; ++i)
        names.push_back("file" + std::to_string(i) + ".txt");
    Dovecot().AddMessage(user, WithAttachments(names));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    OpenRow(0);
    ASSERT_TRUE(Shown());
    QMenu* menu = Attachments();
    ASSERT_EQ(menu->actions().size(), 400);
    menu->popup(QPoint(0, 0));
    ASSERT_TRUE(WaitUntil([menu] { return menu->isVisible(); }));
    const QRect screen = menu->screen()->availableGeometry();
    EXPECT_LE(menu->height(), screen.height());
    EXPECT_LE(menu->width(), screen.width() / 2);
    menu->close();
}

// A large message: its source comes into the Source tab in pieces as the user scrolls, Select
// all takes every line, and an attachment too large to be kept decoded is saved whole.
TEST_F(ReadWindow, LargeMessageSourceComesInPiecesAndItsLargeAttachmentIsSavedWhole) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 0);
    std::string base64, decoded;
    const std::string line = std::string(76, 'Q') + "\r\n";
    for (int i = 0; i < 30000; ++i)
        base64 += line;
    for (int i = 0; i < 30000 * 19; ++i)
        decoded += "A\x04\x10";
    const std::string text =
        WithAttachments({}, "--b\r\nContent-Type: application/octet-stream\r\n"
                            "Content-Transfer-Encoding: base64\r\n"
                            "Content-Disposition: attachment; filename=\"big.bin\"\r\n\r\n" +
                                base64);
    Dovecot().AddMessage(user, text);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    OpenRow(0);
    ASSERT_TRUE(Shown());
    const QString whole = QString::fromStdString(SourceText(text)).chopped(1);
    const qsizetype first = Source()->toPlainText().size();
    EXPECT_LT(first, whole.size() / 2);
    EXPECT_TRUE(whole.startsWith(Source()->toPlainText()));
    QScrollBar* bar = Source()->verticalScrollBar();
    bar->setValue(bar->maximum());
    EXPECT_GT(Source()->toPlainText().size(), first);

    Child<QTabWidget>(*Read, "pcMessage")->setCurrentWidget(Source());
    for (QAction* action : Read->findChildren<QAction*>())
        if (action->text() == "&Select all")
            action->trigger();
    EXPECT_EQ(Source()->toPlainText(), whole);
    EXPECT_EQ(Source()->textCursor().selectedText().size(), whole.size());

    const std::string saved = Dir->Path() + "/big.bin";
    Read->AskSaveFileName = [&](const QString&) { return QString::fromStdString(saved); };
    ASSERT_EQ(MenuNames(), QStringList{"big.bin"});
    Choose(0, [](TfrmAttachment& prompt) {
        Child<QRadioButton>(prompt, "optSave")->setChecked(true);
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(TTempDir::ReadFile(saved), decoded);
}

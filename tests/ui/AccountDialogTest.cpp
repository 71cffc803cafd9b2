// The account dialog through the options dialog: fields, colours, refusals, security, an
// OAuth2 sign-in through the browser, a void sign-in done again from the tasks window, and a new
// user's first account from the bar's prompt to mail on the bar.
#include "DialogTest.h"

#include "BrowserLauncher.h"
#include "DovecotAccount.h"
#include "OAuthServer.h"

#include "core/IniFile.h"
#include "core/PasswordVault.h"
#include "dialogs/ColorBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <map>
#include <mutex>

namespace {

// A keyring in memory, for the program's whole run: the worker reads it from its thread.
class TMemoryVault : public TPasswordVault {
  public:
    bool Available() override { return true; }
    TVaultRead Read(const std::string& name) override {
        const std::lock_guard lock(FLock);
        const auto found = FItems.find(name);
        return found == FItems.end() ? TVaultRead{"", "Entry not found"}
                                     : TVaultRead{found->second, ""};
    }
    std::string Write(const std::string& name, const std::string& password) override {
        const std::lock_guard lock(FLock);
        FItems[name] = password;
        return "";
    }
    std::string Remove(const std::string& name) override {
        const std::lock_guard lock(FLock);
        FItems.erase(name);
        return "";
    }
    void Close() override {}

  private:
    std::mutex FLock;
    std::map<std::string, std::string> FItems;
};

} // namespace

class AccountDialog : public TDialogTest {
  protected:
    // Opens the options dialog and its account dialog for a new account.
    TfrmAccount* StartAdding() {
        FOptions = OpenOptions();
        Child<QPushButton>(*FOptions, "cmdAccAdd")->click();
        return FOptions->AccountDialog();
    }
    // Opens the account dialog of the options dialog's first account, as Return in the list
    // does.
    TfrmAccount* EditFirst() {
        auto* lvAccounts = Child<QTreeWidget>(*FOptions, "lvAccounts");
        lvAccounts->setCurrentItem(lvAccounts->topLevelItem(0));
        QTest::keyClick(lvAccounts, Qt::Key_Return);
        return FOptions->AccountDialog();
    }
    static void Fill(TfrmAccount* dialog, const std::string& name, const std::string& host) {
        Child<QLineEdit>(*dialog, "txtAccount")->setText(QString::fromStdString(name));
        Child<QLineEdit>(*dialog, "txtPOPHost")->setText(QString::fromStdString(host));
    }
    // OK; true when the dialog closed.
    static bool Ok(TfrmAccount* dialog) {
        Child<QPushButton>(*dialog, "cmdOK")->click();
        return !dialog->isVisible();
    }
    TfrmOptions* FOptions = nullptr;
};

TEST_F(AccountDialog, ColourBoxSelectsFixedCustomAndSkinDefaultColours) {
    StartProgram();
    TfrmAccount* dialog = StartAdding();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), "Account Settings");
    auto* cmbColor = Child<TColorBox>(*dialog, "cmbColor");
    EXPECT_EQ(cmbColor->count(), 18);
    EXPECT_EQ(cmbColor->currentText(), "Skin Default");
    EXPECT_EQ(dialog->SelectedColor(), NoAccountColor);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtNoSpam")->text(), "");
    // No keyring here: the password stays in the file.
    EXPECT_FALSE(Child<QCheckBox>(*dialog, "chkKeyring")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*dialog, "chkActive")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(*dialog, "sePOPPort")->value(), 110);
    EXPECT_EQ(Child<QSpinBox>(*dialog, "seSMTPPort")->value(), 25);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtPOPPass")->echoMode(), QLineEdit::Password);
    dialog->SelectColor(0x0000FF);
    EXPECT_EQ(cmbColor->currentText(), "Red");
    dialog->SelectColor(0x123456);
    EXPECT_EQ(cmbColor->currentIndex(), TColorBox::CustomEntry);
    EXPECT_EQ(dialog->SelectedColor(), 0x123456);
    // Choosing "Custom..." and cancelling keeps the custom colour.
    TColorBox::ChooseColor = [](QWidget*, int) { return -1; };
    emit cmbColor->activated(TColorBox::CustomEntry);
    EXPECT_EQ(dialog->SelectedColor(), 0x123456);
    TColorBox::ChooseColor = [](QWidget*, int) { return 0x00AA00; };
    emit cmbColor->activated(TColorBox::CustomEntry);
    EXPECT_EQ(dialog->SelectedColor(), 0x00AA00);
    Fill(dialog, "Home", "pop.example.com");
    ASSERT_TRUE(Ok(dialog));
    ASSERT_EQ(Settings().Accounts().size(), 1u);
    EXPECT_EQ(Settings().Accounts()[0].Color, 0x00AA00);
}

TEST_F(AccountDialog, RefusesNamesHostsAndPortsTheSettingsCannotHoldAndStaysOpen) {
    AddLoopbackAccount("Home", 1, false);
    StartProgram();
    TfrmAccount* dialog = StartAdding();
    auto* txtAccount = Child<QLineEdit>(*dialog, "txtAccount");
    auto* txtPOPHost = Child<QLineEdit>(*dialog, "txtPOPHost");
    auto* sePOPPort = Child<QSpinBox>(*dialog, "sePOPPort");
    txtPOPHost->setText("pop.example.com");
    for (const char* bad : {"", "home", "a[b", "a]b", "a=b", "tab\there", " lead", "trail "}) {
        ClearRecordedMessageBoxes();
        SetNextMessageBoxAnswer(QMessageBox::Ok);
        txtAccount->setText(bad);
        EXPECT_FALSE(Ok(dialog)) << bad;
        ASSERT_EQ(RecordedMessageBoxes().size(), 1u) << bad;
        EXPECT_EQ(RecordedMessageBoxes()[0].Caption, "Account Settings");
    }
    txtAccount->setText("Work");
    txtPOPHost->setText("  ");
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    EXPECT_FALSE(Ok(dialog));
    txtPOPHost->setText("pop.example.com");
    for (int port : {0, 65536}) {
        sePOPPort->setValue(port);
        SetNextMessageBoxAnswer(QMessageBox::Ok);
        EXPECT_FALSE(Ok(dialog)) << port;
    }
    sePOPPort->setValue(65535);
    EXPECT_TRUE(Ok(dialog));
    EXPECT_EQ(Settings().Accounts().size(), 2u);
}

TEST_F(AccountDialog, SecurityChoiceMovesOnlyTheUsualPortAndIsSaved) {
    StartProgram();
    TfrmAccount* dialog = StartAdding();
    Fill(dialog, "Secure", "pop.example.com");
    auto* cmbSecurity = Child<QComboBox>(*dialog, "cmbSecurity");
    auto* sePOPPort = Child<QSpinBox>(*dialog, "sePOPPort");
    cmbSecurity->setCurrentIndex(2);
    EXPECT_EQ(sePOPPort->value(), 995);
    cmbSecurity->setCurrentIndex(0);
    EXPECT_EQ(sePOPPort->value(), 110);
    sePOPPort->setValue(2110);
    cmbSecurity->setCurrentIndex(2);
    EXPECT_EQ(sePOPPort->value(), 2110);
    Child<QCheckBox>(*dialog, "chkVerify")->setChecked(false);
    ASSERT_TRUE(Ok(dialog));
    // Cancel on the options dialog keeps the account: it was saved at once.
    Child<QPushButton>(*FOptions, "cmdCancel")->click();
    TOptions options;
    std::vector<TAccount> saved;
    LoadSettings(options, saved);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].TLS, TTLSMode::Implicit);
    EXPECT_EQ(saved[0].Port, 2110);
    EXPECT_FALSE(saved[0].TLSVerify);
}

TEST_F(AccountDialog, ServerTypeMovesOnlyTheUsualPortAndIsSaved) {
    StartProgram();
    TfrmAccount* dialog = StartAdding();
    Fill(dialog, "Mail", "imap.example.com");
    auto* cmbServerType = Child<QComboBox>(*dialog, "cmbServerType");
    auto* cmbSecurity = Child<QComboBox>(*dialog, "cmbSecurity");
    auto* sePOPPort = Child<QSpinBox>(*dialog, "sePOPPort");
    EXPECT_EQ(cmbServerType->currentText(), "POP3");
    cmbServerType->setCurrentIndex(int(TMailProtocol::IMAP));
    EXPECT_EQ(sePOPPort->value(), 143);
    EXPECT_FALSE(Child<QCheckBox>(*dialog, "chkSecure")->isEnabled());
    cmbSecurity->setCurrentIndex(int(TTLSMode::Implicit));
    EXPECT_EQ(sePOPPort->value(), 993);
    cmbServerType->setCurrentIndex(int(TMailProtocol::POP3));
    EXPECT_EQ(sePOPPort->value(), 995);
    cmbServerType->setCurrentIndex(int(TMailProtocol::IMAP));
    sePOPPort->setValue(1993);
    cmbSecurity->setCurrentIndex(int(TTLSMode::None));
    EXPECT_EQ(sePOPPort->value(), 1993);
    sePOPPort->setValue(993);
    cmbSecurity->setCurrentIndex(int(TTLSMode::Implicit));
    ASSERT_TRUE(Ok(dialog));
    TOptions options;
    std::vector<TAccount> saved;
    LoadSettings(options, saved);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].Protocol, TMailProtocol::IMAP);
    EXPECT_EQ(saved[0].Port, 993);

    // Editing shows the stored type and keeps the stored port.
    dialog = EditFirst();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(Child<QComboBox>(*dialog, "cmbServerType")->currentText(), "IMAP");
    EXPECT_EQ(Child<QSpinBox>(*dialog, "sePOPPort")->value(), 993);
    dialog->reject();
}

TEST_F(AccountDialog, EditKeepsTheNameAndSavesTheOtherFields) {
    AddLoopbackAccount("Home", 1, false);
    StartProgram();
    FOptions = OpenOptions();
    TfrmAccount* dialog = EditFirst();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(Child<QLineEdit>(*dialog, "txtAccount")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtPOPPass")->text(), "pass");
    Child<QLineEdit>(*dialog, "txtPOPHost")->setText("pop.example.net");
    dialog->SelectColor(0x0000FF);
    ASSERT_TRUE(Ok(dialog));
    EXPECT_EQ(Child<QTreeWidget>(*FOptions, "lvAccounts")->topLevelItem(0)->text(1),
              "pop.example.net");
    TOptions options;
    std::vector<TAccount> saved;
    LoadSettings(options, saved);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].AccountName, "Home");
    EXPECT_EQ(saved[0].Host, "pop.example.net");
    EXPECT_EQ(saved[0].Color, 0x0000FF);
}

TEST_F(AccountDialog, FirstRunPromptLeadsToANewAccountWhoseMailShowsOnTheBar) {
    QB_NEED_DOVECOT();
    TDovecotServer& server = Dovecot();
    const int user = server.AddUser();
    for (int n = 1; n <= 2; ++n)
        server.AddMessage(user, TDovecotServer::GenerateMessage(n));
    StartProgram();
    Main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main.get()));
    const QRect prompt = Main->PromptRect(LayoutBar(BarMetrics(Skin()), [&] {
        TBarState state;
        state.ClientWidth = Main->width();
        state.ButtonWidth = Settings().Options().ButtonWidth;
        state.IsRead = [](int) { return false; };
        return state;
    }()));
    ASSERT_FALSE(prompt.isEmpty());
    QTest::mouseClick(Main.get(), Qt::LeftButton, {}, prompt.center());
    auto* options = OpenChild<TfrmOptions>(*Main);
    ASSERT_TRUE(options);
    EXPECT_EQ(Child<QTabWidget>(*options, "pcOptions")->currentWidget(),
              Child<QWidget>(*options, "tsAccounts"));
    TfrmAccount* dialog = options->AccountDialog();
    ASSERT_TRUE(dialog);
    Fill(dialog, "Mine", "127.0.0.1");
    Child<QSpinBox>(*dialog, "sePOPPort")->setValue(server.Port());
    Child<QLineEdit>(*dialog, "txtPOPUser")->setText(QString::fromStdString(server.User(user)));
    Child<QLineEdit>(*dialog, "txtPOPPass")->setText(QString::fromStdString(server.Password(user)));
    ASSERT_TRUE(Ok(dialog));
    // Checked once the options dialog is closed: the tasks window cannot come up behind it.
    EXPECT_TRUE(Store->Tasks().empty());
    EXPECT_FALSE(TasksWindow->isVisible());
    Child<QPushButton>(*options, "cmdOK")->click();
    EXPECT_FALSE(Store->Tasks().empty());
    ASSERT_TRUE(WaitUntil([&] { return Store->Entries().size() == 2; }));
    EXPECT_TRUE(Main->PromptRect({}).isEmpty());
    EXPECT_EQ(Store->Caption(0), "Test message 1 (Mine)");
    ASSERT_NE(SettingsText().find("Mine"), std::string::npos);
}

TEST_F(AccountDialog, OAuth2SignInShowsWhoSignedInAndOkStoresTheClientAndItsRefreshToken) {
    if (std::string why = TOAuthServer::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    TOAuthServer server;
    const TBrowserLauncher browser(Dir->Path() + "/browser.log");
    StartProgram();
    TfrmAccount* dialog = StartAdding();
    Child<QLineEdit>(*dialog, "txtAccount")->setText("Cloud");
    Child<QLineEdit>(*dialog, "txtPOPUser")->setText("alice@example.org");
    Child<QComboBox>(*dialog, "cmbServerType")->setCurrentIndex(int(TMailProtocol::IMAP));
    Child<QComboBox>(*dialog, "cmbAuth")->setCurrentIndex(int(TAuthKind::OAuth2));
    EXPECT_FALSE(Child<QLineEdit>(*dialog, "txtPOPPass")->isVisibleTo(dialog));
    ExpectWhole(dialog, "account-oauth2");

    auto* cmbProvider = Child<QComboBox>(*dialog, "cmbProvider");
    auto* txtScope = Child<QLineEdit>(*dialog, "txtScope");
    cmbProvider->setCurrentIndex(int(TOAuthIssuer::Google));
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtPOPHost")->text(), "imap.gmail.com");
    EXPECT_EQ(Child<QSpinBox>(*dialog, "sePOPPort")->value(), 993);
    EXPECT_EQ(Child<QComboBox>(*dialog, "cmbSecurity")->currentIndex(), int(TTLSMode::Implicit));
    EXPECT_EQ(txtScope->text(), "https://mail.google.com/");

    cmbProvider->setCurrentIndex(int(TOAuthIssuer::Other));
    Child<QLineEdit>(*dialog, "txtPOPHost")->setText("127.0.0.1");
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    EXPECT_FALSE(Ok(dialog));
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_TRUE(RecordedMessageBoxes()[0].Text.contains("sign in"));

    auto* txtTokenURL = Child<QLineEdit>(*dialog, "txtTokenURL");
    Child<QLineEdit>(*dialog, "txtIssuer")->setText(QString::fromStdString(server.BaseURL()));
    Child<QPushButton>(*dialog, "cmdDiscover")->click();
    ASSERT_TRUE(WaitUntil([&] { return !txtTokenURL->text().isEmpty(); }));
    EXPECT_EQ(txtTokenURL->text().toStdString(), server.TokenURL());
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtAuthURL")->text().toStdString(), server.AuthorizeURL());
    txtScope->setText("mail openid");
    Child<QLineEdit>(*dialog, "txtClientID")->setText(TOAuthServer::ClientId);
    auto* cmdSignIn = Child<QPushButton>(*dialog, "cmdSignIn");
    auto* lblSignIn = Child<QLabel>(*dialog, "lblSignIn");
    cmdSignIn->click();
    EXPECT_FALSE(cmdSignIn->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return cmdSignIn->isEnabled(); }));
    EXPECT_EQ(lblSignIn->text().toStdString(), "Signed in as alice@example.org.");
    ASSERT_TRUE(Ok(dialog));

    TOptions options;
    std::vector<TAccount> saved;
    LoadSettings(options, saved);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].Auth, TAuthKind::OAuth2);
    EXPECT_EQ(saved[0].OAuth.Provider, TOAuthIssuer::Other);
    EXPECT_EQ(saved[0].OAuth.AuthURL, server.AuthorizeURL());
    EXPECT_EQ(saved[0].OAuth.TokenURL, server.TokenURL());
    EXPECT_EQ(saved[0].OAuth.ClientID, TOAuthServer::ClientId);
    ASSERT_FALSE(saved[0].OAuth.Refresh.empty());
    EXPECT_EQ(SettingsText().find(saved[0].OAuth.Refresh), std::string::npos);
    const TOAuthServer::TTokens refreshed = server.Refresh(saved[0].OAuth.Refresh);
    EXPECT_EQ(refreshed.Error, "");
    EXPECT_FALSE(refreshed.AccessToken.empty());
}

// The refresh token is in the keyring, so a new sign-in leaves the settings as they were: the
// push connection that ended at the void sign-in starts again all the same.
TEST_F(AccountDialog, VoidSignInIsSignedInAgainFromItsErrorRowAndTheAccountIsCheckedAtOnce) {
    const std::string why = TDovecotServer::IMAPUnavailable() + TOAuthServer::Unavailable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TOAuthServer authority;
    TDovecotServer dovecot(1, 0, true, authority.IntrospectionURL());
    dovecot.AddMessage(0, TDovecotServer::GenerateMessage(1));
    static TMemoryVault vault;
    SetPasswordVault(&vault);
    struct TUninstall {
        ~TUninstall() { SetPasswordVault(nullptr); }
    } uninstall;
    TAccount account = DovecotAccount(dovecot, 0, "Cloud");
    account.Protocol = TMailProtocol::IMAP;
    account.Port = dovecot.IMAPPort();
    account.Pass.clear();
    account.Auth = TAuthKind::OAuth2;
    account.Keyring = true;
    account.OAuth.AuthURL = authority.AuthorizeURL();
    account.OAuth.TokenURL = authority.TokenURL();
    account.OAuth.ClientID = TOAuthServer::ClientId;
    account.OAuth.Scope = "mail openid";
    account.OAuth.Refresh = authority.SignIn(dovecot.User(0)).RefreshToken;
    ASSERT_EQ(MoveOAuthSecrets(vault, "Cloud", account.OAuth, true), "");
    Settings().AddAccount(account);
    const TBrowserLauncher browser(Dir->Path() + "/browser.log");
    auto idles = [&] {
        const std::vector<std::string> commands = dovecot.Commands();
        return std::count_if(commands.begin(), commands.end(),
                             [](const std::string& line) { return line.ends_with(" IDLE"); });
    };
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 1u);
    ASSERT_TRUE(WaitUntil([&] { return idles() == 1; }, 5000));

    // The provider voids the sign-in; the push connection, cut off, finds it void too.
    authority.RevokeRefreshTokens();
    authority.ExpireAccessTokens();
    dovecot.Kick(0);
    // A check may still meet a session the kick is ending; the next one logs in anew.
    const auto signInExpired = [&] {
        return std::any_of(Store->Errors().begin(), Store->Errors().end(), [](const TError& error) {
            return error.Text == "Sign-in expired: sign in again (Cloud)";
        });
    };
    for (int round = 0; round < 3 && !signInExpired(); ++round) {
        Store->CheckNow(0);
        ASSERT_TRUE(WaitForJobs());
    }
    ASSERT_TRUE(signInExpired());
    // Time for the push connection to try again and end, as it does long before a user acts.
    QTest::qWait(static_cast<int>(2 * std::chrono::milliseconds(TIMAPWatcher::FirstPause).count()));
    TasksWindow->ShowPage(1);
    ExpectWhole(TasksWindow.get(), "tasks-sign-in");
    Child<QPushButton>(*TasksWindow, "cmdSignIn")->click();
    FOptions = OpenChild<TfrmOptions>(*Main);
    ASSERT_NE(FOptions, nullptr);
    TfrmAccount* dialog = FOptions->AccountDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtAccount")->text(), "Cloud");
    auto* cmdSignIn = Child<QPushButton>(*dialog, "cmdSignIn");
    EXPECT_TRUE(cmdSignIn->isDefault());
    EXPECT_EQ(dialog->focusWidget(), cmdSignIn);

    const auto idlesBefore = idles();
    cmdSignIn->click();
    ASSERT_TRUE(WaitUntil([&] { return cmdSignIn->isEnabled(); }));
    EXPECT_TRUE(Child<QPushButton>(*dialog, "cmdOK")->isDefault());
    ASSERT_TRUE(Ok(dialog));
    EXPECT_EQ(Settings().Accounts()[0].OAuth.Refresh, "");
    ASSERT_EQ(Store->Tasks().size(), 1u);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_TRUE(Store->Errors().empty());
    EXPECT_EQ(Child<QTreeWidget>(*TasksWindow, "lvErrors")->topLevelItemCount(), 0);
    EXPECT_TRUE(WaitUntil([&] { return idles() > idlesBefore; }, 5000));
}

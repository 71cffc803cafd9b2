// Passwords in the system keyring, against gnome-keyring on the private session bus that
// keyring.sh starts these tests on (skipped elsewhere): the account dialog moves the
// password into the keyring and back, a check logs in with it, and a keyring gone by
// check time is an error in the tasks window, never an empty password. A keyring that stops
// answering fails the check within seconds and never holds up the exit. The test that ends
// the keyring comes last.
#include "DialogTest.h"

#include "DovecotAccount.h"
#include "OAuthServer.h"
#include "platform/KeyringVault.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QThread>
#include <QTreeWidget>

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace {

// The keyring stopped (SIGSTOP) while this lives: it takes calls and answers none.
struct TFrozenKeyring {
    TFrozenKeyring() { kill(Pid(), SIGSTOP); }
    ~TFrozenKeyring() { kill(Pid(), SIGCONT); }
    TFrozenKeyring(const TFrozenKeyring&) = delete;
    TFrozenKeyring& operator=(const TFrozenKeyring&) = delete;
    static pid_t Pid() { return std::atoi(getenv("QB_KEYRING_PID")); }
};

} // namespace

class Keyring : public TDialogTest {
  protected:
    void SetUp() override {
        TDialogTest::SetUp();
        if (!getenv("QB_KEYRING_PID"))
            GTEST_SKIP() << "needs the private session bus of keyring.sh";
        SetPasswordVault(&Vault);
    }
    void TearDown() override {
        SetPasswordVault(nullptr);
        TDialogTest::TearDown();
    }
    // Opens the account dialog on the one account, or on a new one.
    TfrmAccount* OpenAccount(bool add) {
        FOptions = OpenOptions();
        if (add)
            Child<QPushButton>(*FOptions, "cmdAccAdd")->click();
        else {
            auto* lvAccounts = Child<QTreeWidget>(*FOptions, "lvAccounts");
            lvAccounts->setCurrentItem(lvAccounts->topLevelItem(0));
            Child<QPushButton>(*FOptions, "cmdAccEdit")->click();
        }
        return FOptions->AccountDialog();
    }
    // OK in the account dialog, then in the options dialog.
    void Ok(TfrmAccount* dialog) {
        Child<QPushButton>(*dialog, "cmdOK")->click();
        ASSERT_FALSE(dialog->isVisible());
        Child<QPushButton>(*FOptions, "cmdOK")->click();
    }
    static QCheckBox* KeyringBox(TfrmAccount* dialog) {
        return Child<QCheckBox>(*dialog, "chkKeyring");
    }
    static TAccount Stored() {
        TOptions options;
        std::vector<TAccount> accounts;
        LoadSettings(options, accounts);
        return accounts.empty() ? TAccount{} : accounts[0];
    }

    // An account on Dovecot with one message, whose password is in the keyring only.
    void AddKeyringAccount() {
        AddDovecotAccount("Mine", 1);
        TAccountConfig account = Settings().Accounts()[0];
        ASSERT_EQ(Vault.Write("Mine", account.Pass), "");
        account.Pass.clear();
        account.Keyring = true;
        Settings().EditAccount("Mine", account);
    }

    TKeyringVault Vault;
    TfrmOptions* FOptions = nullptr;
};

TEST_F(Keyring, FrozenKeyringFailsTheCheckWithinSecondsAndTheNextCheckAsksAgain) {
    QB_NEED_DOVECOT();
    AddKeyringAccount();
    {
        const TFrozenKeyring frozen;
        StartProgram();
        // Far below the minute a keyring may take to unlock.
        ASSERT_TRUE(WaitUntil([&] { return !Store->Errors().empty(); }, 20000));
        EXPECT_NE(Store->Errors()[0].Text.find("did not answer"), std::string::npos)
            << Store->Errors()[0].Text;
        EXPECT_TRUE(Store->Entries().empty());
    }
    ASSERT_TRUE(WaitForJobs());
    Store->CheckNow(0);
    ASSERT_TRUE(WaitUntil([&] { return Store->Entries().size() == 1; }));
}

TEST_F(Keyring, ProgramWaitingForAFrozenKeyringEndsAtOnce) {
    QB_NEED_DOVECOT();
    namespace fs = std::filesystem;
    AddKeyringAccount();
    Settings().Save();
    // Beside the skins and the settings file of the fixture.
    fs::copy_file(QB_QUILLBAR_EXE, Dir->File("quillbar"));
    fs::create_directories(Dir->File("run"));
    fs::permissions(Dir->File("run"), fs::perms::owner_all);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Dir->File("run")));

    const TFrozenKeyring frozen;
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QString::fromStdString(Dir->File("quillbar")), {});
    ASSERT_TRUE(program.waitForStarted());
    // Its first check is waiting for the keyring by now.
    QThread::msleep(1500);
    QElapsedTimer ending;
    ending.start();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));
    // Waiting out the check's limit for the keyring would take seconds; an exit that lets
    // the check go takes a fraction of one.
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

// An OAuth2 account keeps its settings through the dialog, and its refresh token and client
// secret go into the keyring and back out with the password.
TEST_F(Keyring, OAuthSecretsMoveWithThePassword) {
    TAccountConfig account;
    account.AccountName = "Cloud";
    account.Host = "127.0.0.1";
    account.User = "ann";
    account.Pass = "pw";
    account.Active = false;
    account.Auth = TAuthKind::OAuth2;
    account.OAuth.ClientID = "client-1";
    account.OAuth.Refresh = "refresh-1";
    account.OAuth.ClientSecret = "secret-1";
    Settings().AddAccount(account);
    StartProgram();

    TfrmAccount* dialog = OpenAccount(false);
    ASSERT_TRUE(dialog);
    KeyringBox(dialog)->setChecked(true);
    Ok(dialog);
    TAccount stored = Stored();
    EXPECT_EQ(stored.Auth, TAuthKind::OAuth2);
    EXPECT_EQ(stored.OAuth.ClientID, "client-1");
    EXPECT_EQ(stored.OAuth.Refresh, "");
    EXPECT_EQ(Vault.Read(RefreshTokenVaultName("Cloud")).Password, "refresh-1");
    EXPECT_EQ(Vault.Read(ClientSecretVaultName("Cloud")).Password, "secret-1");

    dialog = OpenAccount(false);
    ASSERT_TRUE(dialog);
    KeyringBox(dialog)->setChecked(false);
    Ok(dialog);
    stored = Stored();
    EXPECT_EQ(stored.OAuth.Refresh, "refresh-1");
    EXPECT_EQ(stored.OAuth.ClientSecret, "secret-1");
    EXPECT_NE(Vault.Read(RefreshTokenVaultName("Cloud")).Error, "");
}

// An OAuth2 account whose refresh token is in the keyring only: the check reads it there, and
// the token the provider gives in its place goes back there, never into the file.
TEST_F(Keyring, OAuthCheckTakesItsRefreshTokenFromTheKeyringAndKeepsItsSuccessorThere) {
    const std::string why = TDovecotServer::IMAPUnavailable() + TOAuthServer::Unavailable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TOAuthServer::TOptions options;
    options.RotateRefresh = true;
    TOAuthServer authority(options);
    TDovecotServer dovecot(1, 0, true, authority.IntrospectionURL());
    dovecot.AddMessage(0, TDovecotServer::GenerateMessage(1));
    const TOAuthServer::TTokens tokens = authority.SignIn(dovecot.User(0));
    ASSERT_EQ(tokens.Error, "");
    TAccount account = DovecotAccount(dovecot, 0, "Cloud");
    account.Protocol = TMailProtocol::IMAP;
    account.Port = dovecot.IMAPPort();
    account.Pass.clear();
    account.Keyring = true;
    account.Auth = TAuthKind::OAuth2;
    account.OAuth.TokenURL = authority.TokenURL();
    account.OAuth.ClientID = TOAuthServer::ClientId;
    ASSERT_EQ(Vault.Write(RefreshTokenVaultName("Cloud"), tokens.RefreshToken), "");
    Settings().AddAccount(account);
    StartProgram();

    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Store->Entries().size(), 1u);
    EXPECT_TRUE(Store->Errors().empty()) << Store->Errors()[0].Text;
    const std::string successor = Vault.Read(RefreshTokenVaultName("Cloud")).Password;
    EXPECT_NE(successor, tokens.RefreshToken);
    EXPECT_FALSE(successor.empty());
    EXPECT_EQ(Stored().OAuth.Refresh, "");
    // The successor is the one in force: the provider takes it at the next refresh.
    EXPECT_EQ(authority.Refresh(successor).Error, "");
}

TEST_F(Keyring, PasswordMovesInAndOutAndAKeyringGoneByCheckTimeIsAnError) {
    QB_NEED_DOVECOT();
    TDovecotServer& server = Dovecot();
    const int user = server.AddUser();
    const std::string password = server.Password(user);
    server.AddMessage(user, TDovecotServer::GenerateMessage(1));
    StartProgram();

    TfrmAccount* dialog = OpenAccount(true);
    ASSERT_TRUE(KeyringBox(dialog)->isVisibleTo(dialog));
    ExpectWhole(dialog, "account-keyring");
    Child<QLineEdit>(*dialog, "txtAccount")->setText("Mine");
    Child<QLineEdit>(*dialog, "txtPOPHost")->setText("127.0.0.1");
    Child<QSpinBox>(*dialog, "sePOPPort")->setValue(server.Port());
    Child<QLineEdit>(*dialog, "txtPOPUser")->setText(QString::fromStdString(server.User(user)));
    Child<QLineEdit>(*dialog, "txtPOPPass")->setText(QString::fromStdString(password));
    // Where a keyring answers, a new account's password goes there unless unticked.
    EXPECT_TRUE(KeyringBox(dialog)->isChecked());
    Ok(dialog);
    EXPECT_TRUE(Stored().Keyring);
    EXPECT_EQ(Stored().Pass, "");
    EXPECT_EQ(Vault.Read("Mine").Password, password);
    ASSERT_TRUE(WaitUntil([&] { return Store->Entries().size() == 1; }));
    EXPECT_TRUE(Store->Errors().empty());

    // Back into the file: the empty field takes the keyring's password.
    dialog = OpenAccount(false);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(Child<QLineEdit>(*dialog, "txtPOPPass")->text().isEmpty());
    KeyringBox(dialog)->setChecked(false);
    Ok(dialog);
    EXPECT_FALSE(Stored().Keyring);
    EXPECT_EQ(Stored().Pass, password);
    EXPECT_NE(Vault.Read("Mine").Error, "");

    dialog = OpenAccount(false);
    ASSERT_TRUE(dialog);
    KeyringBox(dialog)->setChecked(true);
    Ok(dialog);
    EXPECT_EQ(Stored().Pass, "");

    // The keyring ends before the next check.
    kill(std::atoi(getenv("QB_KEYRING_PID")), SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return !Vault.Available(); }));
    server.AddMessage(user, TDovecotServer::GenerateMessage(2));
    Store->CheckNow(0);
    ASSERT_TRUE(WaitUntil([&] { return !Store->Errors().empty(); }));
    EXPECT_NE(Store->Errors()[0].Text.find("could not be read from the system keyring"),
              std::string::npos)
        << Store->Errors()[0].Text;
    EXPECT_NE(Store->Errors()[0].Text.find("(Mine)"), std::string::npos);
    EXPECT_EQ(Store->Entries().size(), 1u);
}

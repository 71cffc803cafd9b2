// Passwords in the system keyring, against gnome-keyring on the private session bus that
// keyring.sh starts these tests on (skipped elsewhere): the account dialog moves the
// password into the keyring and back, a check logs in with it, and a keyring gone by
// check time is an error in the tasks window, never an empty password.
#include "DialogTest.h"

#include "platform/KeyringVault.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTreeWidget>

#include <csignal>
#include <cstdlib>

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
            FOptions->cmdAccAddClick();
        else {
            FOptions->lvAccounts->setCurrentItem(FOptions->lvAccounts->topLevelItem(0));
            FOptions->cmdAccEditClick();
        }
        return FOptions->AccountDialog();
    }
    // OK in the account dialog, then in the options dialog.
    void Ok(TfrmAccount* dialog) {
        dialog->cmdOK->click();
        ASSERT_FALSE(dialog->isVisible());
        FOptions->cmdOK->click();
    }
    static TAccount Stored() {
        TOptions options;
        std::vector<TAccount> accounts;
        LoadSettings(options, accounts);
        return accounts.empty() ? TAccount{} : accounts[0];
    }

    TKeyringVault Vault;
    TfrmOptions* FOptions = nullptr;
};

TEST_F(Keyring, PasswordMovesInAndOutAndAKeyringGoneByCheckTimeIsAnError) {
    QB_NEED_DOVECOT();
    TDovecotServer& server = Dovecot();
    const int user = server.AddUser();
    const std::string password = server.Password(user);
    server.AddMessage(user, TDovecotServer::GenerateMessage(1));
    StartProgram();

    TfrmAccount* dialog = OpenAccount(true);
    ASSERT_TRUE(dialog->chkKeyring->isVisibleTo(dialog));
    ExpectWhole(dialog, "account-keyring");
    dialog->txtAccount->setText("Mine");
    dialog->txtPOPHost->setText("127.0.0.1");
    dialog->sePOPPort->setValue(server.Port());
    dialog->txtPOPUser->setText(QString::fromStdString(server.User(user)));
    dialog->txtPOPPass->setText(QString::fromStdString(password));
    dialog->chkKeyring->setChecked(true);
    Ok(dialog);
    EXPECT_TRUE(Stored().Keyring);
    EXPECT_EQ(Stored().Pass, "");
    EXPECT_EQ(Vault.Read("Mine").Password, password);
    ASSERT_TRUE(WaitUntil([&] { return Store->Entries().size() == 1; }));
    EXPECT_TRUE(Store->Errors().empty());

    // Back into the file: the empty field takes the keyring's password.
    dialog = OpenAccount(false);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->txtPOPPass->text().isEmpty());
    dialog->chkKeyring->setChecked(false);
    Ok(dialog);
    EXPECT_FALSE(Stored().Keyring);
    EXPECT_EQ(Stored().Pass, password);
    EXPECT_NE(Vault.Read("Mine").Error, "");

    dialog = OpenAccount(false);
    ASSERT_TRUE(dialog);
    dialog->chkKeyring->setChecked(true);
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

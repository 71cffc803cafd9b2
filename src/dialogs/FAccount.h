// The account dialog: one account's fields, its server type, colour and connection security.
#pragma once

#include "core/Options.h"

#include <QDialog>

class TPasswordVault;

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TColorBox;
class TOAuthSection;

class TfrmAccount : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmAccount(QWidget* owner);

    // The names of the other accounts: OK refuses a name equal to one of them.
    TStringList TakenNames;

    void SelectColor(int value);
    int SelectedColor() const;
    // Fills every field from account (the password in clear text).
    void SetFields(const TAccountConfig& account);
    // Reads every field into account, texts cut to their longest length; the name only
    // when withName.
    void GetFields(TAccountConfig& account, bool withName) const;
    // The name keys the account's section: an existing account's name cannot be changed.
    void LockName();
    // The sign-in's button in focus and the default, for an account that must sign in again.
    void FocusSignIn();
    // What the server sees changed since SetFields: its address, security, protocol, user,
    // password or sign-in.
    bool LoginChanged() const;

    // Refuses, with a message and the dialog left open, what cannot be stored; moves the
    // password into or out of the keyring as chosen.
    void accept() override;
    // Ends a sign-in still running.
    void done(int result) override;

  private:
    // The port follows a change of protocol or security only while it is the usual one.
    void ServerChanged();
    // Texts and controls that depend on the protocol.
    void ShowProtocol(TMailProtocol protocol);
    // Into the keyring, or back into the settings file; false, with a message, when the
    // keyring refused.
    bool MovePassword();
    // The OAuth2 secrets into or out of the keyring beside the password; "" or why not.
    std::string MoveOAuthSecretsFor(TPasswordVault& vault, const std::string& name, bool keyring);
    // Shows the rows of the chosen sign-in kind.
    void AuthChanged();
    // The mail server of the preset, for the chosen protocol.
    void ApplyPreset(const std::string& name);
    // Not resizable by the user, but as large as its rows ask.
    void Refit();

    QLineEdit* txtAccount;
    QLineEdit* txtName;
    QLineEdit* txtEmail;
    QLineEdit* txtNoSpam;
    TColorBox* cmbColor;
    QCheckBox* chkActive;
    QComboBox* cmbServerType; // index: TMailProtocol
    QLineEdit* txtPOPHost;
    QSpinBox* sePOPPort;
    QLineEdit* txtPOPUser;
    QComboBox* cmbAuth; // index: TAuthKind
    QLineEdit* txtPOPPass;
    TOAuthSection* pnlOAuth;
    // Shown where a keyring can be reached, or for an account whose password is there.
    QCheckBox* chkKeyring;
    QComboBox* cmbSecurity;
    QCheckBox* chkVerify;
    QCheckBox* chkSecure;
    QLineEdit* txtSMTPHost;
    QSpinBox* seSMTPPort;
    QPushButton* cmdOK;
    QFormLayout* FFields;
    QPushButton* cmdCancel;

    // The account as SetFields loaded it.
    TAccountConfig FLoaded;
    // The account as loaded kept its password in the keyring.
    bool FWasKeyring = false;
    // The sign-in kind as loaded; and the OAuth2 settings as loaded, then as stored by OK.
    TAuthKind FLoadedAuth = TAuthKind::Password;
    TOAuthConfig FOAuth;
    TTLSMode FLastSecurity = TTLSMode::None;
    TMailProtocol FLastProtocol = TMailProtocol::POP3;
};

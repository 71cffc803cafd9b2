// The account dialog: one account's fields, its server type, colour and connection security.
#pragma once

#include "core/Options.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TColorBox;

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

    // Refuses, with a message and the dialog left open, what cannot be stored; moves the
    // password into or out of the keyring as chosen.
    void accept() override;

  private:
    // The port follows a change of protocol or security only while it is the usual one.
    void ServerChanged();
    // Texts and controls that depend on the protocol.
    void ShowProtocol(TMailProtocol protocol);
    // Into the keyring, or back into the settings file; false, with a message, when the
    // keyring refused.
    bool MovePassword();

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
    QLineEdit* txtPOPPass;
    // Shown where a keyring can be reached, or for an account whose password is there.
    QCheckBox* chkKeyring;
    QComboBox* cmbSecurity;
    QCheckBox* chkVerify;
    QCheckBox* chkSecure;
    QLineEdit* txtSMTPHost;
    QSpinBox* seSMTPPort;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    // The account as loaded kept its password in the keyring.
    bool FWasKeyring = false;
    // The sign-in kind and OAuth2 settings, which no field shows: kept through an edit.
    TAuthKind FAuth = TAuthKind::Password;
    TOAuthConfig FOAuth;
    TTLSMode FLastSecurity = TTLSMode::None;
    TMailProtocol FLastProtocol = TMailProtocol::POP3;
};

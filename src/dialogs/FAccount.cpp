// The account dialog: one account's fields, its server type, colour and connection security.
#include "dialogs/FAccount.h"

#include "core/AccountFields.h"
#include "core/MailProtocol.h"
#include "core/PasswordVault.h"
#include "core/TLSMode.h"
#include "dialogs/ColorBox.h"
#include "dialogs/DialogPictures.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const QSize FormSize(452, 414);
constexpr int PanelWidth = 117;
constexpr int MaxPort = 65535;
const char* const Caption = "Account Settings";

QSpinBox* PortField(const char* name, int value) {
    auto* field = new QSpinBox;
    field->setObjectName(name);
    // Any whole number can be typed; OK refuses what is no port.
    field->setRange(-999999, 999999);
    field->setValue(value);
    return field;
}

QLabel* GroupCaption(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

std::string Text(const QLineEdit* field) {
    return CutField(field->text().toStdString());
}

} // namespace

TfrmAccount::TfrmAccount(QWidget* owner) : QDialog(owner) {
    setObjectName("frmAccount");
    setWindowTitle(Caption);
    const TAccountConfig blank;

    auto line = [](const char* name) {
        auto* field = new QLineEdit;
        field->setObjectName(name);
        return field;
    };
    txtAccount = line("txtAccount");
    txtName = line("txtName");
    txtEmail = line("txtEmail");
    txtNoSpam = line("txtNoSpam");
    txtNoSpam->setText(QString::fromStdString(blank.NoSpam));
    cmbColor = new TColorBox;
    cmbColor->setObjectName("cmbColor");
    chkActive = new QCheckBox("&Include account in synchronization");
    chkActive->setObjectName("chkActive");
    chkActive->setChecked(true);
    cmbServerType = new QComboBox;
    cmbServerType->setObjectName("cmbServerType");
    cmbServerType->addItems({"POP3", "IMAP"});
    txtPOPHost = line("txtPOPHost");
    sePOPPort = PortField("sePOPPort", blank.Port);
    txtPOPUser = line("txtPOPUser");
    txtPOPPass = line("txtPOPPass");
    txtPOPPass->setEchoMode(QLineEdit::Password);
    chkKeyring = new QCheckBox("Store the password in the system &keyring");
    chkKeyring->setObjectName("chkKeyring");
    chkKeyring->setVisible(PasswordVault() && PasswordVault()->Available());
    cmbSecurity = new QComboBox;
    cmbSecurity->setObjectName("cmbSecurity");
    cmbSecurity->addItems({"None", "STLS", "SSL/TLS"});
    chkVerify = new QCheckBox("&Verify the server's certificate");
    chkVerify->setObjectName("chkVerify");
    chkVerify->setChecked(true);
    chkSecure = new QCheckBox("&Secure POP (unsupported by most servers)");
    chkSecure->setObjectName("chkSecure");
    txtSMTPHost = line("txtSMTPHost");
    seSMTPPort = PortField("seSMTPPort", blank.SMTPPort);
    cmdCancel = new QPushButton("&Cancel");
    cmdCancel->setObjectName("cmdCancel");
    cmdOK = new QPushButton("&OK");
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);

    auto* fields = new QFormLayout;
    fields->setVerticalSpacing(3);
    fields->addRow("Account name:", txtAccount);
    fields->addRow("Name:", txtName);
    fields->addRow("Email:", txtEmail);
    fields->addRow("No-spam:", txtNoSpam);
    fields->addRow("Text color:", cmbColor);
    fields->addRow(chkActive);
    fields->addRow(GroupCaption("Incoming mail"));
    fields->addRow("Server type:", cmbServerType);
    fields->addRow("Host:", txtPOPHost);
    fields->addRow("Port:", sePOPPort);
    fields->addRow("Username:", txtPOPUser);
    fields->addRow("Password:", txtPOPPass);
    fields->addRow(chkKeyring);
    fields->addRow("Connection security:", cmbSecurity);
    fields->addRow(chkVerify);
    fields->addRow(chkSecure);
    fields->addRow(GroupCaption("SMTP (outgoing mail)"));
    fields->addRow("Host:", txtSMTPHost);
    fields->addRow("Port:", seSMTPPort);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdOK);

    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    right->addStretch();
    right->addLayout(buttons);

    auto* panel = new QLabel;
    panel->setObjectName("pnlPicture");
    panel->setFixedWidth(PanelWidth);
    panel->setAutoFillBackground(true);
    QPalette dark = panel->palette();
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    panel->setPalette(dark);
    panel->setAlignment(Qt::AlignBottom | Qt::AlignHCenter);
    panel->setPixmap(QPixmap::fromImage(AccountPicture(PanelWidth)));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    auto* rightMargin = new QVBoxLayout;
    rightMargin->setContentsMargins(9, 9, 9, 9);
    rightMargin->addLayout(right);
    layout->addLayout(rightMargin);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmbSecurity, &QComboBox::currentIndexChanged, this, &TfrmAccount::ServerChanged);
    connect(cmbServerType, &QComboBox::currentIndexChanged, this, &TfrmAccount::ServerChanged);
    ShowProtocol(TMailProtocol::POP3);
    // Not resizable; a larger font makes it larger.
    setFixedSize(sizeHint().expandedTo(FormSize));
}

void TfrmAccount::SelectColor(int value) {
    cmbColor->SelectColor(value);
}

int TfrmAccount::SelectedColor() const {
    return cmbColor->SelectedColor();
}

void TfrmAccount::SetFields(const TAccountConfig& account) {
    txtAccount->setText(QString::fromStdString(account.AccountName));
    txtName->setText(QString::fromStdString(account.Name));
    txtEmail->setText(QString::fromStdString(account.Email));
    txtNoSpam->setText(QString::fromStdString(account.NoSpam));
    SelectColor(account.Color);
    chkActive->setChecked(account.Active);
    txtPOPHost->setText(QString::fromStdString(account.Host));
    sePOPPort->setValue(account.Port);
    txtPOPUser->setText(QString::fromStdString(account.User));
    txtPOPPass->setText(QString::fromStdString(account.Pass));
    FWasKeyring = account.Keyring;
    FAuth = account.Auth;
    FOAuth = account.OAuth;
    chkKeyring->setChecked(account.Keyring);
    if (account.Keyring) {
        // Also where the keyring is gone now, so that the password can be taken back.
        if (!chkKeyring->isVisibleTo(this)) {
            chkKeyring->setVisible(true);
            setFixedSize(sizeHint().expandedTo(FormSize));
        }
        txtPOPPass->setPlaceholderText("kept in the keyring");
    }
    // Loading a stored protocol and mode keeps the stored port.
    FLastSecurity = account.TLS;
    FLastProtocol = account.Protocol;
    {
        const QSignalBlocker quiet(cmbSecurity);
        const QSignalBlocker quietType(cmbServerType);
        cmbSecurity->setCurrentIndex(static_cast<int>(account.TLS));
        cmbServerType->setCurrentIndex(static_cast<int>(account.Protocol));
    }
    ShowProtocol(account.Protocol);
    chkVerify->setChecked(account.TLSVerify);
    chkSecure->setChecked(account.Secure);
    txtSMTPHost->setText(QString::fromStdString(account.SMTPHost));
    seSMTPPort->setValue(account.SMTPPort);
}

void TfrmAccount::LockName() {
    txtAccount->setEnabled(false);
}

void TfrmAccount::GetFields(TAccountConfig& account, bool withName) const {
    if (withName)
        account.AccountName = Text(txtAccount);
    account.Name = Text(txtName);
    account.Email = Text(txtEmail);
    account.NoSpam = Text(txtNoSpam);
    account.Host = Text(txtPOPHost);
    account.Port = sePOPPort->value();
    account.User = Text(txtPOPUser);
    account.Keyring = chkKeyring->isChecked();
    account.Pass = account.Keyring ? std::string() : Text(txtPOPPass);
    account.SMTPHost = Text(txtSMTPHost);
    account.SMTPPort = seSMTPPort->value();
    account.Secure = chkSecure->isChecked();
    account.Color = SelectedColor();
    account.Active = chkActive->isChecked();
    account.TLS = static_cast<TTLSMode>(cmbSecurity->currentIndex());
    account.TLSVerify = chkVerify->isChecked();
    account.Protocol = static_cast<TMailProtocol>(cmbServerType->currentIndex());
    account.Auth = FAuth;
    account.OAuth = FOAuth;
}

void TfrmAccount::accept() {
    std::string problem;
    QWidget* culprit = nullptr;
    if (txtAccount->isEnabled()) {
        problem = AccountNameProblem(Text(txtAccount), TakenNames);
        culprit = txtAccount;
    }
    if (problem.empty() && txtPOPHost->text().trimmed().isEmpty()) {
        problem = "Please enter the " + cmbServerType->currentText().toStdString() + " host.";
        culprit = txtPOPHost;
    }
    for (QSpinBox* port : {sePOPPort, seSMTPPort})
        if (problem.empty() && (port->value() < 1 || port->value() > MaxPort)) {
            problem = "A port must be a number from 1 to 65535.";
            culprit = port;
        }
    if (!problem.empty()) {
        ShowMessageBox(this, QString::fromStdString(problem), Caption, QMessageBox::Warning);
        culprit->setFocus();
        return;
    }
    if (!MovePassword())
        return;
    QDialog::accept();
}

bool TfrmAccount::MovePassword() {
    const bool keyring = chkKeyring->isChecked();
    if (!keyring && !FWasKeyring)
        return true;
    const std::string name = Text(txtAccount);
    TPasswordVault* vault = PasswordVault();
    std::string problem = vault ? std::string() : "no keyring";
    if (keyring && problem.empty()) {
        // An empty field keeps the password the keyring has.
        if (!FWasKeyring || !txtPOPPass->text().isEmpty())
            problem = vault->Write(name, Text(txtPOPPass));
    } else if (problem.empty()) {
        if (txtPOPPass->text().isEmpty()) {
            const TVaultRead read = vault->Read(name);
            problem = read.Error;
            txtPOPPass->setText(QString::fromStdString(read.Password));
        }
        // What cannot be removed stays unused in the keyring.
        if (problem.empty())
            vault->Remove(name);
    }
    // The OAuth2 secrets go where the password goes.
    if (problem.empty() && FAuth == TAuthKind::OAuth2 && keyring != FWasKeyring)
        problem = MoveOAuthSecrets(*vault, name, FOAuth, keyring);
    if (problem.empty())
        return true;
    ShowMessageBox(this,
                   QString::fromStdString(
                       (keyring ? "The password could not be stored in the system keyring: "
                                : "The password could not be taken from the system keyring: ") +
                       problem),
                   Caption, QMessageBox::Warning);
    return false;
}

void TfrmAccount::ServerChanged() {
    const auto protocol = static_cast<TMailProtocol>(cmbServerType->currentIndex());
    const auto mode = static_cast<TTLSMode>(cmbSecurity->currentIndex());
    // Only the usual port follows; a port the user chose stays.
    if (sePOPPort->value() == UsualPort(FLastProtocol, FLastSecurity))
        sePOPPort->setValue(UsualPort(protocol, mode));
    FLastProtocol = protocol;
    FLastSecurity = mode;
    ShowProtocol(protocol);
}

void TfrmAccount::ShowProtocol(TMailProtocol protocol) {
    const bool imap = protocol == TMailProtocol::IMAP;
    cmbSecurity->setItemText(static_cast<int>(TTLSMode::STLS), imap ? "STARTTLS" : "STLS");
    // The APOP login is POP3's alone.
    chkSecure->setEnabled(!imap);
}

// The account dialog: one account's fields, its server type, colour and connection security.
#include "dialogs/FAccount.h"

#include "core/AccountFields.h"
#include "core/MailProtocol.h"
#include "core/PasswordVault.h"
#include "core/ServerEndpoint.h"
#include "core/TLSMode.h"
#include "dialogs/ColorBox.h"
#include "dialogs/DialogPictures.h"
#include "dialogs/OAuthSection.h"
#include "oauth/Providers.h"
#include "platform/MessageBox.h"
#include "windows/Placement.h"

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
const char* const SignInFirst = "Please sign in with OAuth2 before saving the account.";

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
    cmbAuth = new QComboBox;
    cmbAuth->setObjectName("cmbAuth");
    cmbAuth->addItems({"Password", "OAuth2"});
    pnlOAuth = new TOAuthSection;
    pnlOAuth->setObjectName("pnlOAuth");
    txtPOPPass = line("txtPOPPass");
    txtPOPPass->setEchoMode(QLineEdit::Password);
    chkKeyring = new QCheckBox("Store the password in the system &keyring");
    chkKeyring->setObjectName("chkKeyring");
    const bool vault = PasswordVault() && PasswordVault()->Available();
    chkKeyring->setVisible(vault);
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
    FFields = fields;
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
    fields->addRow("Sign-in:", cmbAuth);
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

    // The OAuth2 rows stand beside the others, so that the dialog stays lower than a screen.
    auto* columns = new QHBoxLayout;
    columns->addLayout(fields);
    columns->addWidget(pnlOAuth, 0, Qt::AlignTop);

    auto* right = new QVBoxLayout;
    right->addLayout(columns);
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
    connect(cmbAuth, &QComboBox::currentIndexChanged, this, &TfrmAccount::AuthChanged);
    connect(pnlOAuth, &TOAuthSection::PresetChosen, this, &TfrmAccount::ApplyPreset);
    connect(pnlOAuth, &TOAuthSection::RowsChanged, this, &TfrmAccount::Refit);
    // What is left to do after a sign-in is OK.
    connect(pnlOAuth, &TOAuthSection::SignedIn, this, [this] {
        cmdOK->setDefault(true);
        cmdOK->setFocus();
    });
    connect(txtPOPUser, &QLineEdit::textChanged, this,
            [this](const QString& user) { pnlOAuth->SetUser(user.trimmed().toStdString()); });
    connect(chkKeyring, &QCheckBox::toggled, pnlOAuth, &TOAuthSection::SetKeyring);
    // A new account keeps its password out of the file where it can.
    chkKeyring->setChecked(vault);
    // The OAuth2 fields stand in for the password: Tab reaches them from the sign-in choice.
    QWidget* previous = cmbAuth;
    for (QWidget* field : pnlOAuth->TabChain()) {
        setTabOrder(previous, field);
        previous = field;
    }
    setTabOrder(previous, txtPOPPass);
    ShowProtocol(TMailProtocol::POP3);
    AuthChanged();
}

void TfrmAccount::Refit() {
    // Hidden rows give their room back first.
    if (layout())
        layout()->activate();
    // Not resizable; a larger font makes it larger.
    setFixedSize(sizeHint().expandedTo(FormSize));
    // Grown by the OAuth2 rows, it may reach past the screen's edge.
    if (isVisible())
        KeepOnScreen(this);
}

void TfrmAccount::AuthChanged() {
    const bool oauth = static_cast<TAuthKind>(cmbAuth->currentIndex()) == TAuthKind::OAuth2;
    txtPOPPass->setEnabled(!oauth);
    FFields->setRowVisible(txtPOPPass, !oauth);
    pnlOAuth->setVisible(oauth);
    Refit();
}

void TfrmAccount::ApplyPreset(const std::string& name) {
    const TOAuthProvider* preset = FindOAuthProvider(name);
    if (!preset)
        return;
    const auto protocol = static_cast<TMailProtocol>(cmbServerType->currentIndex());
    const bool imap = protocol == TMailProtocol::IMAP;
    const QSignalBlocker quiet(cmbSecurity);
    txtPOPHost->setText(QString::fromStdString(imap ? preset->IMAPHost : preset->POP3Host));
    cmbSecurity->setCurrentIndex(static_cast<int>(TTLSMode::Implicit));
    sePOPPort->setValue(imap ? preset->IMAPPort : preset->POP3Port);
    FLastSecurity = TTLSMode::Implicit;
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
    FLoaded = account;
    FWasKeyring = account.Keyring;
    FLoadedAuth = account.Auth;
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
    pnlOAuth->SetProtocol(account.Protocol);
    pnlOAuth->SetConfig(account.OAuth, account.Keyring);
    cmbAuth->setCurrentIndex(static_cast<int>(account.Auth));
    chkVerify->setChecked(account.TLSVerify);
    chkSecure->setChecked(account.Secure);
    txtSMTPHost->setText(QString::fromStdString(account.SMTPHost));
    seSMTPPort->setValue(account.SMTPPort);
}

void TfrmAccount::LockName() {
    txtAccount->setEnabled(false);
}

void TfrmAccount::FocusSignIn() {
    pnlOAuth->FocusSignIn();
}

bool TfrmAccount::LoginChanged() const {
    TAccountConfig now = FLoaded;
    GetFields(now, false);
    // A password or refresh token kept in the keyring is not in the endpoint.
    return !(EndpointOf(now) == EndpointOf(FLoaded)) || Text(txtPOPPass) != FLoaded.Pass ||
           !pnlOAuth->Config().Refresh.empty();
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
    account.Auth = static_cast<TAuthKind>(cmbAuth->currentIndex());
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
    const TOAuthConfig typed = pnlOAuth->Config();
    const bool oauth = static_cast<TAuthKind>(cmbAuth->currentIndex()) == TAuthKind::OAuth2;
    // An account that had OAuth2 keeps its refresh token; a new one needs a sign-in.
    if (problem.empty() && oauth && typed.Refresh.empty() && FLoadedAuth != TAuthKind::OAuth2) {
        problem = SignInFirst;
        culprit = cmbAuth;
    }
    if (!problem.empty()) {
        ShowMessageBox(this, QString::fromStdString(problem), Caption, QMessageBox::Warning);
        culprit->setFocus();
        return;
    }
    if (oauth) {
        const std::string refresh = typed.Refresh.empty() ? FOAuth.Refresh : typed.Refresh;
        const std::string secret = typed.ClientSecret;
        FOAuth = typed;
        FOAuth.Refresh = refresh;
        FOAuth.ClientSecret = secret;
    }
    if (!MovePassword())
        return;
    QDialog::accept();
}

void TfrmAccount::done(int result) {
    pnlOAuth->Stop();
    QDialog::done(result);
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
    if (problem.empty() && static_cast<TAuthKind>(cmbAuth->currentIndex()) == TAuthKind::OAuth2)
        problem = MoveOAuthSecretsFor(*vault, name, keyring);
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

std::string TfrmAccount::MoveOAuthSecretsFor(TPasswordVault& vault, const std::string& name,
                                             bool keyring) {
    // Only an account loaded with OAuth2 in the keyring has its secrets there.
    const bool inVault = FWasKeyring && FLoadedAuth == TAuthKind::OAuth2;
    if (keyring && !inVault)
        return MoveOAuthSecrets(vault, name, FOAuth, true);
    if (keyring) {
        // A fresh sign-in or a typed secret replaces the kept one; an empty field keeps it.
        const std::pair<std::string*, std::string> secrets[] = {
            {&FOAuth.Refresh, RefreshTokenVaultName(name)},
            {&FOAuth.ClientSecret, ClientSecretVaultName(name)}};
        for (const auto& [value, vaultName] : secrets) {
            if (value->empty())
                continue;
            if (std::string problem = vault.Write(vaultName, *value); !problem.empty())
                return problem;
            value->clear();
        }
        return {};
    }
    if (!inVault)
        return {};
    TOAuthConfig kept = FOAuth;
    if (std::string problem = MoveOAuthSecrets(vault, name, kept, false); !problem.empty())
        return problem;
    if (!FOAuth.Refresh.empty())
        kept.Refresh = FOAuth.Refresh;
    if (!FOAuth.ClientSecret.empty())
        kept.ClientSecret = FOAuth.ClientSecret;
    FOAuth = kept;
    return {};
}

void TfrmAccount::ServerChanged() {
    const auto protocol = static_cast<TMailProtocol>(cmbServerType->currentIndex());
    const auto mode = static_cast<TTLSMode>(cmbSecurity->currentIndex());
    // Only the usual port follows; a port the user chose stays.
    const bool otherProtocol = protocol != FLastProtocol;
    if (sePOPPort->value() == UsualPort(FLastProtocol, FLastSecurity))
        sePOPPort->setValue(UsualPort(protocol, mode));
    FLastProtocol = protocol;
    FLastSecurity = mode;
    ShowProtocol(protocol);
    pnlOAuth->SetProtocol(protocol);
    // A preset's mail server follows the protocol too.
    if (otherProtocol && static_cast<TAuthKind>(cmbAuth->currentIndex()) == TAuthKind::OAuth2)
        ApplyPreset(pnlOAuth->PresetName());
}

void TfrmAccount::ShowProtocol(TMailProtocol protocol) {
    const bool imap = protocol == TMailProtocol::IMAP;
    cmbSecurity->setItemText(static_cast<int>(TTLSMode::STLS), imap ? "STARTTLS" : "STLS");
    // The APOP login is POP3's alone.
    chkSecure->setEnabled(!imap);
}

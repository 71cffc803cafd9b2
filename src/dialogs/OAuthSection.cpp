// The account dialog's OAuth2 part: who issues the tokens, the client, and the browser sign-in.
#include "dialogs/OAuthSection.h"

#include "oauth/AccessTokens.h"
#include "oauth/Providers.h"
#include "oauth/TokenClient.h"
#include "platform/OAuthSignIn.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <mutex>
#include <thread>

namespace {

const char* const ClientHelp =
    "Use the client ID of an application you register with the provider; Quillbar ships none.";
const char* const KeptInKeyring = "The refresh token is kept in the system keyring.";
const char* const KeptInFile =
    "The refresh token is kept encoded in the settings file, as passwords are.";
const char* const SigningIn = "Waiting for the sign-in in the browser...";
const char* const NoRefresh =
    "The provider gave no refresh token: Quillbar could sign in only this once.";
const char* const DiscoveryFailed = "The endpoints could not be discovered: ";
// A discovery gives up long before a user gives up on the dialog.
constexpr int DiscoveryTimeoutMs = 15000;
constexpr int IssuerRow = 2;
// Room for the URLs and for the notes to wrap into a few lines.
constexpr int WidthInCharacters = 44;

std::string Text(const QLineEdit* field) {
    return field->text().trimmed().toStdString();
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

// Lets a discovery thread outlive the section without posting to it.
struct TOAuthSection::TRelay {
    std::mutex Lock;
    bool Gone = false;
};

TOAuthSection::TOAuthSection(QWidget* parent)
    : QWidget(parent), FRelay(std::make_shared<TRelay>()) {
    auto line = [](const char* name) {
        auto* field = new QLineEdit;
        field->setObjectName(name);
        return field;
    };
    cmbProvider = new QComboBox;
    cmbProvider->setObjectName("cmbProvider");
    cmbProvider->addItems({"Google", "Microsoft", "Other"});
    txtIssuer = line("txtIssuer");
    txtIssuer->setPlaceholderText("https://issuer.example.com");
    cmdDiscover = new QPushButton("&Discover");
    cmdDiscover->setObjectName("cmdDiscover");
    txtAuthURL = line("txtAuthURL");
    txtTokenURL = line("txtTokenURL");
    txtScope = line("txtScope");
    txtClientID = line("txtClientID");
    txtClientSecret = line("txtClientSecret");
    txtClientSecret->setEchoMode(QLineEdit::Password);
    txtClientSecret->setPlaceholderText("optional");
    auto* lblClientHelp = new QLabel(ClientHelp);
    lblClientHelp->setObjectName("lblClientHelp");
    lblClientHelp->setWordWrap(true);
    cmdSignIn = new QPushButton("Si&gn in");
    cmdSignIn->setObjectName("cmdSignIn");
    lblSignIn = new QLabel;
    lblSignIn->setObjectName("lblSignIn");
    lblSignIn->setWordWrap(true);
    lblTokenKept = new QLabel(KeptInFile);
    lblTokenKept->setObjectName("lblTokenKept");
    lblTokenKept->setWordWrap(true);

    auto* issuer = new QHBoxLayout;
    issuer->addWidget(txtIssuer, 1);
    issuer->addWidget(cmdDiscover);
    auto* signIn = new QHBoxLayout;
    signIn->addWidget(cmdSignIn);
    signIn->addWidget(lblSignIn, 1);

    FRows = new QFormLayout(this);
    FRows->setContentsMargins(0, 0, 0, 0);
    FRows->setVerticalSpacing(3);
    auto* caption = new QLabel("OAuth2 sign-in");
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    FRows->addRow(caption);
    FRows->addRow("Provider:", cmbProvider);
    FRows->addRow("Issuer:", issuer);
    FRows->addRow("Authorization URL:", txtAuthURL);
    FRows->addRow("Token URL:", txtTokenURL);
    FRows->addRow("Scope:", txtScope);
    FRows->addRow("Client ID:", txtClientID);
    FRows->addRow("Client secret:", txtClientSecret);
    FRows->addRow(lblClientHelp);
    FRows->addRow(signIn);
    FRows->addRow(lblTokenKept);

    setMinimumWidth(fontMetrics().averageCharWidth() * WidthInCharacters);

    connect(cmbProvider, &QComboBox::currentIndexChanged, this, [this] { ShowProvider(true); });
    connect(cmdDiscover, &QPushButton::clicked, this, &TOAuthSection::cmdDiscoverClick);
    connect(cmdSignIn, &QPushButton::clicked, this, &TOAuthSection::cmdSignInClick);
    cmbProvider->setCurrentIndex(static_cast<int>(TOAuthIssuer::Other));
    ShowProvider(false);
}

std::vector<QWidget*> TOAuthSection::TabChain() const {
    return {cmbProvider, txtIssuer,   cmdDiscover,     txtAuthURL, txtTokenURL,
            txtScope,    txtClientID, txtClientSecret, cmdSignIn};
}

TOAuthSection::~TOAuthSection() {
    std::lock_guard lock(FRelay->Lock);
    FRelay->Gone = true;
}

void TOAuthSection::SetConfig(const TOAuthConfig& config, bool keyring) {
    {
        const QSignalBlocker quiet(cmbProvider);
        cmbProvider->setCurrentIndex(static_cast<int>(config.Provider));
    }
    txtAuthURL->setText(Q(config.AuthURL));
    txtTokenURL->setText(Q(config.TokenURL));
    txtScope->setText(Q(config.Scope));
    txtClientID->setText(Q(config.ClientID));
    txtClientSecret->setText(Q(config.ClientSecret));
    if (keyring)
        txtClientSecret->setPlaceholderText("kept in the keyring");
    FRefresh.clear();
    ShowProvider(false);
}

TOAuthConfig TOAuthSection::Config() const {
    TOAuthConfig config;
    config.Provider = static_cast<TOAuthIssuer>(cmbProvider->currentIndex());
    config.AuthURL = Text(txtAuthURL);
    config.TokenURL = Text(txtTokenURL);
    config.Scope = Text(txtScope);
    config.ClientID = Text(txtClientID);
    config.ClientSecret = Text(txtClientSecret);
    config.Refresh = FRefresh;
    return config;
}

std::string TOAuthSection::PresetName() const {
    const TOAuthProvider* preset = FindOAuthProvider(cmbProvider->currentText().toStdString());
    return preset ? preset->Name : std::string();
}

void TOAuthSection::SetProtocol(TMailProtocol protocol) {
    FProtocol = protocol;
    if (const TOAuthProvider* preset = FindOAuthProvider(cmbProvider->currentText().toStdString()))
        txtScope->setText(Q(preset->Scope(protocol)));
}

void TOAuthSection::SetKeyring(bool keyring) {
    lblTokenKept->setText(keyring ? KeptInKeyring : KeptInFile);
}

void TOAuthSection::SetUser(const std::string& user) {
    FUser = user;
}

void TOAuthSection::FocusSignIn() {
    cmdSignIn->setDefault(true);
    cmdSignIn->setFocus();
}

void TOAuthSection::Stop() {
    if (FSignIn) {
        FSignIn->disconnect(this);
        FSignIn->Cancel();
        FSignIn->deleteLater();
        FSignIn = nullptr;
        cmdSignIn->setEnabled(true);
    }
    std::lock_guard lock(FRelay->Lock);
    FRelay->Gone = true;
}

void TOAuthSection::ShowProvider(bool fill) {
    const TOAuthProvider* preset = FindOAuthProvider(cmbProvider->currentText().toStdString());
    // A preset's endpoints are its own; only Other's are typed or discovered.
    for (QLineEdit* field : {txtAuthURL, txtTokenURL, txtScope})
        field->setReadOnly(preset != nullptr);
    FRows->setRowVisible(IssuerRow, preset == nullptr);
    if (!preset && fill) {
        // A preset's endpoints belong to no other server.
        for (QLineEdit* field : {txtAuthURL, txtTokenURL, txtScope})
            field->clear();
    }
    if (preset && fill) {
        txtAuthURL->setText(Q(preset->AuthorizationEndpoint));
        txtTokenURL->setText(Q(preset->TokenEndpoint));
        txtScope->setText(Q(preset->Scope(FProtocol)));
        emit PresetChosen(preset->Name);
    }
    emit RowsChanged();
}

void TOAuthSection::cmdDiscoverClick() {
    const std::string issuer = Text(txtIssuer);
    if (issuer.empty())
        return;
    cmdDiscover->setEnabled(false);
    lblSignIn->clear();
    // The issuer may be slow or silent: the dialog stays alive meanwhile.
    std::thread([relay = FRelay, self = this, issuer] {
        std::string authURL, tokenURL, error;
        try {
            THttpOptions http;
            http.TimeoutMs = DiscoveryTimeoutMs;
            const TOAuthEndpoints endpoints = DiscoverEndpoints(issuer, http);
            authURL = endpoints.AuthorizationEndpoint;
            tokenURL = endpoints.TokenEndpoint;
        } catch (const std::exception& e) {
            error = e.what();
        }
        std::lock_guard lock(relay->Lock);
        if (!relay->Gone)
            QMetaObject::invokeMethod(
                self, [=] { self->DiscoveryFinished(authURL, tokenURL, error); },
                Qt::QueuedConnection);
    }).detach();
}

void TOAuthSection::DiscoveryFinished(const std::string& authURL, const std::string& tokenURL,
                                      const std::string& error) {
    cmdDiscover->setEnabled(true);
    if (!error.empty()) {
        lblSignIn->setText(DiscoveryFailed + Q(error));
        return;
    }
    txtAuthURL->setText(Q(authURL));
    txtTokenURL->setText(Q(tokenURL));
}

void TOAuthSection::cmdSignInClick() {
    if (FSignIn)
        return;
    TSignInRequest request;
    request.AuthorizationEndpoint = Text(txtAuthURL);
    request.Client.TokenEndpoint = Text(txtTokenURL);
    request.Client.ClientId = Text(txtClientID);
    request.Client.ClientSecret = Text(txtClientSecret);
    request.Scope = Text(txtScope);
    request.LoginHint = FUser;
    FSignIn = new TOAuthSignIn(request, this);
    connect(FSignIn, &TOAuthSignIn::Finished, this, &TOAuthSection::SignInFinished);
    cmdSignIn->setEnabled(false);
    lblSignIn->setText(SigningIn);
    FSignIn->Start();
}

void TOAuthSection::SignInFinished(const TSignInResult& result) {
    FSignIn->deleteLater();
    FSignIn = nullptr;
    cmdSignIn->setEnabled(true);
    if (result.Outcome != TSignInOutcome::SignedIn) {
        lblSignIn->setText(Q(result.Error));
        return;
    }
    if (result.Tokens.RefreshToken.empty()) {
        lblSignIn->setText(NoRefresh);
        return;
    }
    FRefresh = result.Tokens.RefreshToken;
    AccessTokens().Hold(FRefresh, result.Tokens.AccessToken, result.Tokens.Expires);
    emit SignedIn();
    lblSignIn->setText(result.Tokens.Account.empty()
                           ? QString("Signed in.")
                           : "Signed in as " + Q(result.Tokens.Account) + ".");
}

// The account dialog's OAuth2 part: who issues the tokens, the client, and the browser sign-in.
#pragma once

#include "core/MailProtocol.h"
#include "core/OAuthConfig.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class TOAuthSignIn;
struct TSignInResult;

class TOAuthSection : public QWidget {
    Q_OBJECT
  public:
    explicit TOAuthSection(QWidget* parent = nullptr);
    ~TOAuthSection() override;

    // Shows config; keyring: its secrets are in the keyring, not in config.
    void SetConfig(const TOAuthConfig& config, bool keyring);
    // The fields; Refresh is the token of a sign-in made here, "" when none was.
    TOAuthConfig Config() const;
    // The chosen preset's name; "" for Other.
    std::string PresetName() const;
    // The scope of a preset follows the account's protocol.
    void SetProtocol(TMailProtocol protocol);
    // Where the refresh token will be kept, told beside the sign-in.
    void SetKeyring(bool keyring);
    // Sent as the login hint.
    void SetUser(const std::string& user);
    // Ends a sign-in or discovery still running; their results are dropped.
    void Stop();
    // Its fields in the order the Tab key walks them.
    std::vector<QWidget*> TabChain() const;
    // The Sign in button in focus, as the default of the dialog until a sign-in succeeds.
    void FocusSignIn();

  signals:
    // A preset was chosen: the mail server follows it.
    void PresetChosen(const std::string& name);
    // The dialog's size may have to follow a shown or hidden row.
    void RowsChanged();
    // A sign-in got a refresh token.
    void SignedIn();

  private:
    struct TRelay;

    // fill: a chosen preset's endpoints and scope go into the fields.
    void ShowProvider(bool fill);
    void cmdDiscoverClick();
    void cmdSignInClick();
    void SignInFinished(const TSignInResult& result);
    void DiscoveryFinished(const std::string& authURL, const std::string& tokenURL,
                           const std::string& error);

    QFormLayout* FRows;
    QComboBox* cmbProvider; // index: TOAuthIssuer
    QLineEdit* txtIssuer;
    QPushButton* cmdDiscover;
    QLineEdit* txtAuthURL;
    QLineEdit* txtTokenURL;
    QLineEdit* txtScope;
    QLineEdit* txtClientID;
    QLineEdit* txtClientSecret;
    QPushButton* cmdSignIn;
    QLabel* lblSignIn;
    QLabel* lblTokenKept;

    TMailProtocol FProtocol = TMailProtocol::POP3;
    std::string FUser;
    std::string FRefresh;
    TOAuthSignIn* FSignIn = nullptr;
    std::shared_ptr<TRelay> FRelay;
};

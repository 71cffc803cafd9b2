// The browser sign-in with OAuth2: the authorization in the system browser, its redirect to a
// loopback listener, and the code exchanged for tokens.
#pragma once

#include "oauth/TokenClient.h"

#include <QObject>

#include <chrono>
#include <memory>
#include <string>

class QTimer;
class TRedirectListener;
struct TRedirectPage;

struct TSignInRequest {
    std::string AuthorizationEndpoint;
    TOAuthClient Client; // the token endpoint, the client's id and secret
    std::string Scope;
    std::string LoginHint; // sent when not empty
    std::chrono::milliseconds Timeout = std::chrono::minutes(5);
};

enum class TSignInOutcome {
    SignedIn,
    Denied,    // the user or the server declined
    Invalid,   // the answer belongs to no sign-in of ours (wrong or missing state)
    TimedOut,  // the browser brought no answer in time
    Cancelled, // Cancel
    Failed,    // no listener, no browser, or the token endpoint refused
};

struct TSignInResult {
    TSignInOutcome Outcome = TSignInOutcome::Failed;
    TTokens Tokens;    // when SignedIn; Tokens.Account is who signed in, "" when unknown
    std::string Error; // when not SignedIn: a text for the user, without any token
};

Q_DECLARE_METATYPE(TSignInResult)

// One sign-in, started once. Finished comes exactly once, queued, never from Start itself, so
// that its receiver may delete the object (with deleteLater).
class TOAuthSignIn : public QObject {
    Q_OBJECT

  public:
    explicit TOAuthSignIn(TSignInRequest request, QObject* parent = nullptr);
    ~TOAuthSignIn() override;

    // Listens for the redirect and opens the authorization URL with the desktop's browser.
    void Start();
    // Ends the sign-in as Cancelled, whatever step it is at.
    void Cancel();
    bool IsListening() const;
    int Port() const;

  signals:
    void Finished(const TSignInResult& result);

  private:
    struct TRelay;

    TSignInRequest FRequest;
    TRedirectListener* FListener;
    QTimer* FTimeout;
    std::shared_ptr<TRelay> FRelay;
    std::string FRedirectUri;
    std::string FState;
    std::string FVerifier;
    bool FFinished = false;

    TRedirectPage TakeRedirect(const std::string& requestLine);
    void Exchange(const std::string& code);
    void Finish(TSignInResult result);
};

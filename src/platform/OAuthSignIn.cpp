// The browser sign-in with OAuth2: the authorization in the system browser, its redirect to a
// loopback listener, and the code exchanged for tokens.
#include "platform/OAuthSignIn.h"

#include "oauth/Authorization.h"
#include "oauth/HttpUrl.h"
#include "oauth/OAuthError.h"
#include "oauth/Pkce.h"
#include "platform/RedirectListener.h"
#include "platform/Shell.h"

#include <QTimer>

#include <mutex>
#include <thread>

namespace {

const char* const NoListener = "The sign-in cannot listen for the browser's answer.";
const char* const NoBrowser = "No web browser could be opened for the sign-in.";
const char* const TimedOutText = "The browser brought no answer to the sign-in in time.";
const char* const CancelledText = "The sign-in was cancelled.";
const char* const NoEndpoints = "The sign-in needs an https authorization URL and token URL: "
                                "choose a provider, or discover or type them.";
const char* const NoClient = "The sign-in needs the client ID of your application.";
const char* const ExchangeFailed = "The sign-in could not be completed.";

const char* const DonePage = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                             "<title>Quillbar</title></head><body><h1>Signed in</h1>"
                             "<p>You may close this page and return to Quillbar.</p>"
                             "</body></html>";
const char* const FailedPage = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                               "<title>Quillbar</title></head><body><h1>Sign-in failed</h1>"
                               "<p>%1</p><p>Return to Quillbar to try again.</p>"
                               "</body></html>";

TSignInResult Failure(TSignInOutcome outcome, std::string text) {
    TSignInResult result;
    result.Outcome = outcome;
    result.Error = std::move(text);
    return result;
}

} // namespace

// What the exchange thread shares with the sign-in: whether there is still one to tell.
struct TOAuthSignIn::TRelay {
    std::mutex Lock;
    bool Gone = false;
};

TOAuthSignIn::TOAuthSignIn(TSignInRequest request, QObject* parent)
    : QObject(parent), FRequest(std::move(request)),
      FListener(new TRedirectListener(
          [this](const std::string& requestLine) { return TakeRedirect(requestLine); }, this)),
      FTimeout(new QTimer(this)), FRelay(std::make_shared<TRelay>()) {
    FTimeout->setSingleShot(true);
    connect(FTimeout, &QTimer::timeout, this,
            [this] { Finish(Failure(TSignInOutcome::TimedOut, TimedOutText)); });
}

TOAuthSignIn::~TOAuthSignIn() {
    // An exchange still running posts nothing from now on; what it posted dies with us.
    std::lock_guard lock(FRelay->Lock);
    FRelay->Gone = true;
}

void TOAuthSignIn::Start() {
    // Else the browser would wait for an answer that cannot come.
    if (!ParseHttpUrl(FRequest.AuthorizationEndpoint) ||
        !ParseHttpUrl(FRequest.Client.TokenEndpoint))
        return Finish(Failure(TSignInOutcome::Failed, NoEndpoints));
    if (FRequest.Client.ClientId.empty())
        return Finish(Failure(TSignInOutcome::Failed, NoClient));
    if (!FListener->Listen())
        return Finish(Failure(TSignInOutcome::Failed, NoListener));
    TAuthorizationRequest authorization;
    try {
        const TPkce pkce = MakePkce();
        FVerifier = pkce.Verifier;
        FState = MakeState();
        authorization.CodeChallenge = pkce.Challenge;
    } catch (const EOAuthError& error) {
        return Finish(Failure(TSignInOutcome::Failed, error.what()));
    }
    FRedirectUri = LoopbackRedirectUri(FListener->Port());
    authorization.Endpoint = FRequest.AuthorizationEndpoint;
    authorization.ClientId = FRequest.Client.ClientId;
    authorization.RedirectUri = FRedirectUri;
    authorization.Scope = FRequest.Scope;
    authorization.State = FState;
    authorization.LoginHint = FRequest.LoginHint;
    FTimeout->start(FRequest.Timeout);
    if (!OpenUrl(AuthorizationUrl(authorization)))
        Finish(Failure(TSignInOutcome::Failed, NoBrowser));
}

void TOAuthSignIn::Cancel() {
    Finish(Failure(TSignInOutcome::Cancelled, CancelledText));
}

bool TOAuthSignIn::IsListening() const {
    return FListener->IsListening();
}

int TOAuthSignIn::Port() const {
    return FListener->Port();
}

TRedirectPage TOAuthSignIn::TakeRedirect(const std::string& requestLine) {
    FTimeout->stop();
    const TRedirect redirect = ParseRedirect(requestLine, FState);
    if (redirect.Outcome == TRedirectOutcome::Code) {
        Exchange(redirect.Code);
        return {200, DonePage};
    }
    const auto outcome = redirect.Outcome == TRedirectOutcome::Denied ? TSignInOutcome::Denied
                                                                      : TSignInOutcome::Invalid;
    Finish(Failure(outcome, redirect.Error));
    const QString text = QString::fromStdString(redirect.Error).toHtmlEscaped();
    return {400, QString::fromLatin1(FailedPage).arg(text).toUtf8()};
}

void TOAuthSignIn::Exchange(const std::string& code) {
    // The token endpoint may take its time: the request runs on a thread of its own and only
    // its result comes back, queued to this object.
    std::thread([relay = FRelay, self = this, client = FRequest.Client, code,
                 redirectUri = FRedirectUri, verifier = FVerifier] {
        TSignInResult result;
        try {
            const TTokenResult answer = ExchangeCode(client, code, redirectUri, verifier);
            if (answer.Outcome == TTokenOutcome::Granted) {
                result.Outcome = TSignInOutcome::SignedIn;
                result.Tokens = answer.Tokens;
            } else {
                result = Failure(TSignInOutcome::Failed, answer.Error);
            }
        } catch (const std::exception&) {
            result = Failure(TSignInOutcome::Failed, ExchangeFailed);
        }
        std::lock_guard lock(relay->Lock);
        if (!relay->Gone)
            QMetaObject::invokeMethod(
                self, [self, result] { self->Finish(result); }, Qt::QueuedConnection);
    }).detach();
}

void TOAuthSignIn::Finish(TSignInResult result) {
    if (FFinished)
        return;
    FFinished = true;
    FTimeout->stop();
    FListener->Close();
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)] { emit Finished(result); }, Qt::QueuedConnection);
}

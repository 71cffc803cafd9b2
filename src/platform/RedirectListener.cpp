// The loopback listener that takes the browser's redirect at the end of a sign-in.
#include "platform/RedirectListener.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// A browser's request is a line and a few headers; anything larger is no redirect of ours.
const qsizetype MaxRequest = 16 * 1024;
const int RequestTimeoutMs = 10000;
const size_t MaxConnections = 8;
const char* const NotFoundPage = "<!DOCTYPE html><title>Quillbar</title><p>Not found.</p>";
const char* const TooLargePage = "<!DOCTYPE html><title>Quillbar</title><p>Bad request.</p>";

QByteArray StatusLine(int status) {
    switch (status) {
    case 200:
        return "HTTP/1.1 200 OK";
    case 404:
        return "HTTP/1.1 404 Not Found";
    default:
        return "HTTP/1.1 400 Bad Request";
    }
}

// The redirect comes to the root with a query; a favicon or any other request is not it.
bool IsRedirect(const QByteArray& requestLine) {
    return requestLine.startsWith("GET /?");
}

} // namespace

TRedirectListener::TRedirectListener(THandler handler, QObject* parent)
    : QObject(parent), FHandler(std::move(handler)), FServer(new QTcpServer(this)) {
    connect(FServer, &QTcpServer::newConnection, this, &TRedirectListener::Accept);
}

TRedirectListener::~TRedirectListener() = default;

bool TRedirectListener::Listen() {
    FServer->setMaxPendingConnections(static_cast<int>(MaxConnections));
    return FServer->listen(QHostAddress(QHostAddress::LocalHost), 0);
}

bool TRedirectListener::IsListening() const {
    return FServer->isListening();
}

int TRedirectListener::Port() const {
    return FServer->serverPort();
}

void TRedirectListener::Close() {
    FServer->close();
    auto reading = std::move(FRequests);
    FRequests.clear();
    for (auto& [socket, request] : reading) {
        socket->abort();
        socket->deleteLater();
    }
}

void TRedirectListener::Accept() {
    while (QTcpSocket* socket = FServer->nextPendingConnection()) {
        if (FRequests.size() >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        FRequests[socket] = {};
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            FRequests.erase(socket);
            socket->deleteLater();
        });
        // A connection that says nothing must not hold a place for ever.
        QTimer::singleShot(RequestTimeoutMs, socket, [this, socket] {
            if (FRequests.erase(socket)) {
                socket->abort();
                socket->deleteLater();
            }
        });
        if (socket->bytesAvailable() > 0)
            Read(socket);
    }
}

void TRedirectListener::Read(QTcpSocket* socket) {
    const auto found = FRequests.find(socket);
    if (found == FRequests.end())
        return;
    QByteArray& request = found->second;
    request += socket->read(MaxRequest + 1 - request.size());
    const qsizetype end = request.indexOf("\r\n\r\n");
    if (end < 0) {
        if (request.size() > MaxRequest) {
            FRequests.erase(found);
            Send(socket, {400, TooLargePage});
        }
        return;
    }
    const QByteArray requestLine = request.left(request.indexOf("\r\n"));
    FRequests.erase(found);
    if (!IsRedirect(requestLine)) {
        Send(socket, {404, NotFoundPage});
        return;
    }
    Send(socket, FHandler(requestLine.toStdString()));
    Close();
}

void TRedirectListener::Send(QTcpSocket* socket, const TRedirectPage& page) {
    QByteArray answer = StatusLine(page.Status);
    answer += "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
              "Connection: close\r\nContent-Length: " +
              QByteArray::number(page.Html.size()) + "\r\n\r\n" + page.Html;
    socket->write(answer);
    // The answer is flushed before the connection closes; the socket goes when it has.
    socket->disconnectFromHost();
}

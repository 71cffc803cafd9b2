// The loopback listener that takes the browser's redirect at the end of a sign-in.
#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <map>
#include <string>

class QTcpServer;
class QTcpSocket;

struct TRedirectPage {
    int Status = 200;
    QByteArray Html;
};

class TRedirectListener : public QObject {
    Q_OBJECT

  public:
    // Called with the request line of the redirect ("GET /?... HTTP/1.1"); what it returns
    // is the browser's answer, after which the listener closes.
    using THandler = std::function<TRedirectPage(const std::string& requestLine)>;

    explicit TRedirectListener(THandler handler, QObject* parent = nullptr);
    ~TRedirectListener() override;

    // Listens on 127.0.0.1 on a port the system picks; false when it cannot.
    bool Listen();
    bool IsListening() const;
    int Port() const;
    // Stops listening and drops every connection that is still reading.
    void Close();

  private:
    THandler FHandler;
    QTcpServer* FServer;
    std::map<QTcpSocket*, QByteArray> FRequests;

    void Accept();
    void Read(QTcpSocket* socket);
    void Send(QTcpSocket* socket, const TRedirectPage& page);
};

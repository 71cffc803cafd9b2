// Fuzz target for the POP3 session's reading: the input is everything a server sends.
#include "LoopbackSocket.h"
#include "net/MailError.h"
#include "pop3/POP3Session.h"
#include "worker/MessageLocator.h"

#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Sends the script, then reads until the client is done, so no reset cuts the data short.
void Serve(int listener, const std::string& script) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0)
        return;
    size_t sent = 0;
    while (sent < script.size()) {
        ssize_t n = send(fd, script.data() + sent, script.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    char drain[4096];
    while (recv(fd, drain, sizeof drain, 0) > 0) {
    }
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int port = 0;
    static int listener = LoopbackSocket(port, 4);
    if (size < 1)
        return 0;
    std::string script(reinterpret_cast<const char*>(data + 1), size - 1);
    std::thread server(Serve, listener, script);

    TQBPOP3 session;
    session.Server.Host = "127.0.0.1";
    session.Server.Port = port;
    session.Server.User = "user";
    session.Server.Pass = "pass";
    session.Server.APOP = data[0] & 1;
    session.MaxLineLength = data[0] & 2 ? 16384 : 64;
    // Small bounds, so that short inputs reach the cut and refused replies.
    if (data[0] & 4) {
        session.MaxHeaderBytes = 256;
        session.MaxReplyBytes = 4096;
        session.MaxListEntries = 8;
    }
    TStringList lines;
    // A failure that leaves the session in step lets the next command go on.
    auto step = [](auto command) {
        try {
            command();
        } catch (const EMailInStepError&) {
        }
    };
    try {
        session.Connect(2000);
        step([&] { session.ListUIDs(lines); });
        step([&] { session.GetMessageSize(1); });
        step([&] { session.RetrieveTop(1, 0, lines); });
        step([&] { session.RetrieveMessage(1, lines); });
        step([&] { session.DeleteOnServer(1); });
        step([&] {
            TMessageRef ref;
            ref.Number = 2;
            ref.UID = "0";
            TMessageLocator(session).Locate(ref);
        });
        // Last: a reply left unread would forbid every later command.
        step([&] {
            session.SendTops({1, 2}, 0, true);
            session.ReadTop(lines);
            session.ReadTop(lines);
        });
    } catch (const EMailError&) {
    }
    session.Disconnect();
    server.join();
    return 0;
}

// TQBPOP3: the POP3 client session (RFC 1939, APOP, STLS, POP3S, pipelined TOP) the worker drives.
#include "POP3Session.h"

#include "core/MD5Hex.h"
#include "net/MailError.h"
#include "net/TokenLogin.h"
#include "oauth/OAuthSasl.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <sstream>
#include <stdexcept>

namespace {

// Bounds on a CAPA answer: a real one is a dozen short lines.
const size_t MaxCapabilityBytes = 64 * 1024;
const size_t MaxCapabilities = 1000;
const std::string OutOfStep = "The server's replies are out of step: ";
// Longest command line a server must take, CR LF included.
const size_t MaxCommandLength = 255;

std::string BytesText(size_t bytes) {
    if (bytes >= (size_t(1) << 20) && bytes % (size_t(1) << 20) == 0)
        return std::to_string(bytes >> 20) + " MB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

void TQBPOP3::CloseConnection() {
    FCounting = false;
    FPending.clear();
    FConnection.Close();
}

void TQBPOP3::ReadReply() {
    std::string line = FConnection.ReadLine(static_cast<size_t>(MaxLineLength));
    LastReply = ParseReplyLine(line);
    ReplyText.assign(1, LastReply.Text);
    if (LastReply.Code == TPOP3Status::Unknown)
        throw EMailError("Unrecognized POP3 Response Header:\n\"" + line + "\"");
}

bool TQBPOP3::SendCmd(const std::string& command, bool okOnly) {
    // A CR or LF in a user name or password would smuggle in a command of its own.
    if (command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw EMailError("Invalid character in command.");
    // Its reply would be taken for one of theirs.
    if (!FPending.empty())
        throw std::logic_error("A command sent before the pipelined replies were read.");
    ExpectNothingMore();
    FConnection.WriteLine(command);
    ReadReply();
    if (LastReply.Code == TPOP3Status::OK)
        return true;
    if (okOnly)
        throw EMailReplyError(LastReply.Text);
    return false;
}

void TQBPOP3::ReadData(TStringList& dest, size_t keepBytes, size_t maxLines, TLongLines longLines) {
    ReadData([&dest](std::string&& line) { dest.push_back(std::move(line)); }, keepBytes, maxLines,
             longLines);
}

void TQBPOP3::ReadData(const TLineSink& keep, size_t keepBytes, size_t maxLines,
                       TLongLines longLines) {
    const bool cutLong = longLines == TLongLines::Cut;
    FWorkCount = static_cast<int64_t>(FConnection.Buffered());
    FCounting = true;
    if (FWorkCount > 0 && OnWork)
        OnWork(FWorkCount);
    LastDataCut = false;
    bool refused = false;
    LinesCut = 0;
    size_t total = 0, kept = 0, count = 0;
    for (;;) {
        std::string line;
        bool cut = false;
        try {
            line = FConnection.ReadLine(static_cast<size_t>(MaxLineLength));
        } catch (const ELineTooLong&) {
            if (cutLong)
                line = FConnection.LineStart(static_cast<size_t>(MaxLineLength));
            // Read past the line, and the reply to its end, to keep the session in step.
            total += FConnection.SkipLine(MaxReplyBytes - total);
            if (total > MaxReplyBytes)
                throw EMailError("Reply longer than " + BytesText(MaxReplyBytes) + ".");
            if (!cutLong) {
                refused = true;
                continue;
            }
            cut = true;
            ++LinesCut;
        }
        if (!cut) {
            if (line == ".")
                break;
            total += line.size() + 2;
        }
        if (total > MaxReplyBytes) {
            if (!LastDataCut || refused)
                throw EMailError("Reply longer than " + BytesText(MaxReplyBytes) + ".");
            // A cut reply that does not end: what was kept stands.
            FConnection.Close();
            break;
        }
        if (refused)
            continue;
        if (count >= maxLines)
            throw EMailError("More than " + std::to_string(maxLines) + " entries in the list.");
        if (LastDataCut || kept + line.size() > keepBytes) {
            LastDataCut = true;
            continue;
        }
        kept += line.size();
        ++count;
        keep(UnstuffDot(line));
    }
    FCounting = false;
    if (refused)
        throw EMailRefusedReply("Max line length exceeded.");
}

bool TQBPOP3::FetchData(const std::string& command, const TLineSink& keep, size_t keepBytes,
                        size_t maxLines, TLongLines longLines) {
    return Guarded([&] {
        // A refusal leaves no count of another reply behind.
        LastDataCut = false;
        LinesCut = 0;
        if (!SendCmd(command, false))
            return false;
        ReadData(keep, keepBytes, maxLines, longLines);
        return true;
    });
}

bool TQBPOP3::FetchData(const std::string& command, TStringList& dest, size_t keepBytes,
                        size_t maxLines, TLongLines longLines) {
    TStringList lines;
    if (!FetchData(
            command, [&lines](std::string&& line) { lines.push_back(std::move(line)); }, keepBytes,
            maxLines, longLines))
        return false;
    dest.insert(dest.end(), std::make_move_iterator(lines.begin()),
                std::make_move_iterator(lines.end()));
    return true;
}

bool TQBPOP3::FetchListing(const std::string& command, TStringList& dest, size_t keepBytes,
                           size_t maxLines) {
    return FetchData(command, dest, keepBytes, maxLines, TLongLines::Refuse);
}

bool TQBPOP3::FetchText(const std::string& command, TStringList& dest, size_t keepBytes) {
    return FetchData(command, dest, keepBytes, SIZE_MAX, TLongLines::Cut);
}

bool TQBPOP3::FetchText(const std::string& command, std::string& text, size_t keepBytes) {
    return FetchData(
        command,
        [&text](std::string&& line) {
            text += line;
            text += "\r\n";
        },
        keepBytes, SIZE_MAX, TLongLines::Cut);
}

void TQBPOP3::UpgradeToTLS() {
    TTLSOptions options;
    options.HostName = Server.Host;
    options.Verify = Server.TLSVerify;
    options.CAFile = TLSCAFile;
    FConnection.StartTLS(options);
}

void TQBPOP3::LoginWithToken() {
    // The mechanisms come from CAPA's SASL line, which may differ after login: asked again then.
    TStringList capabilities;
    FetchListing("CAPA", capabilities, MaxCapabilityBytes, MaxCapabilities);
    bool bearer = false, xoauth2 = false;
    for (std::string line : capabilities) {
        std::transform(line.begin(), line.end(), line.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        std::istringstream words(line);
        std::string word;
        if (!(words >> word) || word != "SASL")
            continue;
        while (words >> word) {
            bearer = bearer || word == "OAUTHBEARER";
            xoauth2 = xoauth2 || word == "XOAUTH2";
        }
    }
    if (!bearer && !xoauth2)
        throw EMailError("The server does not offer sign-in with OAuth2 (SASL OAUTHBEARER or "
                         "XOAUTH2).");
    const std::string response = TokenLoginResponse(Server, bearer);
    const std::string command = bearer ? "AUTH OAUTHBEARER" : "AUTH XOAUTH2";
    auto continuation = [](const std::string& line) {
        return line == "+" || line.rfind("+ ", 0) == 0;
    };
    // The response rides on the AUTH line unless that makes it longer than a command may be.
    const bool initialResponse = command.size() + 1 + response.size() + 2 <= MaxCommandLength;
    ExpectNothingMore();
    std::string line;
    if (initialResponse) {
        FConnection.WriteLine(command + " " + response);
        line = FConnection.ReadLine(static_cast<size_t>(MaxLineLength));
    } else {
        FConnection.WriteLine(command);
        line = FConnection.ReadLine(static_cast<size_t>(MaxLineLength));
        if (!continuation(line)) {
            LastReply = ParseReplyLine(line);
            if (LastReply.Code == TPOP3Status::Err)
                throw EMailReplyError(LastReply.Text);
            throw EMailError(OutOfStep + "\"" + line + "\" came as the reply to \"" + command +
                             "\".");
        }
        FConnection.WriteLine(response);
        line = FConnection.ReadLine(static_cast<size_t>(MaxLineLength));
    }
    std::string challenge;
    if (continuation(line)) {
        // The error challenge: answered so that the server sends its refusal.
        challenge = line.size() > 2 ? line.substr(2) : std::string();
        FConnection.WriteLine(bearer ? OAuthChallengeAbort() : std::string());
        line = FConnection.ReadLine(static_cast<size_t>(MaxLineLength));
    }
    LastReply = ParseReplyLine(line);
    ReplyText.assign(1, LastReply.Text);
    if (LastReply.Code == TPOP3Status::OK)
        return;
    if (LastReply.Code == TPOP3Status::Unknown)
        throw EMailError(OutOfStep + "\"" + line + "\" came as the reply to \"" + command + "\".");
    throw TokenRefusal(challenge.empty() ? "" : OAuthChallengeText(challenge), LastReply.Text);
}

void TQBPOP3::Login(const std::string& greetingText) {
    if (Server.Auth == TAuthKind::OAuth2) {
        LoginWithToken();
        return;
    }
    if (!Server.APOP) {
        SendCmd("USER " + Server.User, true);
        SendCmd("PASS " + Server.Pass, true);
        return;
    }
    std::string timestamp = APOPTimestamp(greetingText);
    if (timestamp.empty())
        throw EMailError("The server does not support APOP (its greeting has no timestamp)");
    SendCmd("APOP " + Server.User + " " + MD5Hex(timestamp + Server.Pass), true);
}

void TQBPOP3::Connect(int timeoutMs) {
    Pipelining = false;
    TopListed = false;
    UIDLListed = false;
    std::string server = Server.Host + ":" + std::to_string(Server.Port);
    try {
        Establish(timeoutMs);
        if (FNoCAPAFrom != server) {
            try {
                AskCapabilities();
            } catch (const EMailInStepError&) {
            } catch (const EMailError&) {
                if (FConnection.Dropped())
                    throw;
                // A late answer would be taken for the reply to the next command: the
                // stream is out of step for good, so start again without CAPA.
                FNoCAPAFrom = server;
                Pipelining = false;
                Establish(timeoutMs);
            }
        }
        FConnection.ReadTimeout = ReadTimeout;
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TQBPOP3::AskCapabilities() {
    TStringList capabilities;
    if (!FetchListing("CAPA", capabilities, MaxCapabilityBytes, MaxCapabilities))
        return;
    // A listing cut off and closed is no answer at all.
    if (!FConnection.IsOpen())
        throw EMailError("Capability list did not end.");
    for (const std::string& line : capabilities) {
        std::string name = line.substr(0, line.find(' '));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (name == "PIPELINING")
            Pipelining = AllowPipelining;
        else if (name == "TOP")
            TopListed = true;
        else if (name == "UIDL")
            UIDLListed = true;
    }
}

void TQBPOP3::Establish(int timeoutMs) {
    // Replies outstanding on a dropped connection are gone with it.
    FPending.clear();
    // The time limit covers the greeting, the handshake and the login too: a
    // server that accepts and then says nothing (a clear-text account on a TLS
    // port, say) must not hold every later job.
    FConnection.ReadTimeout = ReadTimeout > 0 ? std::min(ReadTimeout, timeoutMs) : timeoutMs;
    FConnection.Resolver = Resolver;
    FConnection.MinReplyRate = MinReplyRate;
    FConnection.Open(Server.Host, Server.Port, timeoutMs);
    if (Server.TLS == TTLSMode::Implicit)
        UpgradeToTLS();
    ReadReply();
    if (LastReply.Code != TPOP3Status::OK)
        throw EMailReplyError(LastReply.Text);
    std::string greetingText = LastReply.Text;
    if (Server.TLS == TTLSMode::STLS) {
        // Never fall back to clear text when the server refuses.
        if (!SendCmd("STLS", false))
            throw EMailError(
                LastReply.Text.empty()
                    ? std::string("The server refused STLS, which the account asks for")
                    : "The server refused STLS, which the account asks for: " + LastReply.Text);
        UpgradeToTLS();
    }
    Login(greetingText);
}

bool TQBPOP3::Connected() const {
    return FConnection.IsOpen();
}

void TQBPOP3::Disconnect() {
    SendQuit(-1);
}

bool TQBPOP3::Quit(int timeoutMs) {
    return SendQuit(timeoutMs);
}

bool TQBPOP3::SendQuit(int waitMs) {
    FCounting = false;
    bool confirmed = false;
    if (FConnection.IsOpen()) {
        try {
            FConnection.WriteLine("QUIT");
            if (waitMs >= 0) {
                FConnection.ReadTimeout = waitMs;
                confirmed =
                    FConnection.ReadLine(static_cast<size_t>(MaxLineLength)).rfind("+OK", 0) == 0;
            }
        } catch (const EMailError&) {
        }
        FConnection.ReadTimeout = ReadTimeout;
    }
    CloseConnection();
    return confirmed;
}

void TQBPOP3::DropConnection() {
    FConnection.Drop();
}

void TQBPOP3::ResetDrop() {
    FConnection.ResetDrop();
}

bool TQBPOP3::ListUIDs(TStringList& dest) {
    return FetchListing("UIDL", dest, SIZE_MAX, MaxListEntries);
}

bool TQBPOP3::ListMessages(TStringList& dest) {
    return FetchListing("LIST", dest, SIZE_MAX, MaxListEntries);
}

bool TQBPOP3::ListUIDsAndSizes(TStringList& uids, TStringList& sizes) {
    if (!Pipelining) {
        if (!ListUIDs(uids))
            return false;
        ListMessages(sizes);
        return true;
    }
    return Guarded([&] {
        if (!FPending.empty())
            throw std::logic_error("A command sent before the pipelined replies were read.");
        ExpectNothingMore();
        FConnection.Write("UIDL\r\nLIST\r\n");
        TStringList listed[2];
        bool answered[2] = {};
        std::exception_ptr refused; // read to its end: the LIST reply still follows
        TPOP3Reply uidlReply;
        for (int reply = 0; reply < 2; ++reply) {
            ReadReply();
            if (reply == 0)
                uidlReply = LastReply;
            answered[reply] = LastReply.Code == TPOP3Status::OK;
            try {
                if (answered[reply])
                    ReadData(listed[reply], SIZE_MAX, MaxListEntries, TLongLines::Refuse);
            } catch (const EMailInStepError&) {
                if (!refused)
                    refused = std::current_exception();
                answered[reply] = false;
            }
        }
        if (refused && !answered[0])
            std::rethrow_exception(refused);
        if (!answered[0]) {
            LastReply = uidlReply; // the refusal the caller asks about
            return false;
        }
        uids.insert(uids.end(), std::make_move_iterator(listed[0].begin()),
                    std::make_move_iterator(listed[0].end()));
        if (answered[1])
            sizes = std::move(listed[1]);
        return true;
    });
}

bool TQBPOP3::RetrieveHeader(int number, TStringList& dest) {
    TStringList lines;
    size_t kept = 0;
    bool ended = false;
    if (!FetchData(
            "RETR " + std::to_string(number),
            [&](std::string&& line) {
                if (ended || kept > MaxHeaderBytes)
                    return;
                ended = line.empty();
                kept += line.size();
                lines.push_back(std::move(line));
            },
            SIZE_MAX, SIZE_MAX, TLongLines::Cut))
        return false;
    LastDataCut = kept > MaxHeaderBytes;
    dest.insert(dest.end(), std::make_move_iterator(lines.begin()),
                std::make_move_iterator(lines.end()));
    return true;
}

int TQBPOP3::GetMessageSize(int number) {
    return Guarded([&] {
        SendCmd("LIST " + std::to_string(number), true);
        return ParseMessageSize(LastReply.Text);
    });
}

bool TQBPOP3::RetrieveMessage(int number, TStringList& dest) {
    return FetchText("RETR " + std::to_string(number), dest);
}

bool TQBPOP3::RetrieveTop(int number, int lines, TStringList& dest) {
    return FetchText("TOP " + std::to_string(number) + " " + std::to_string(lines), dest,
                     MaxHeaderBytes);
}

bool TQBPOP3::RetrieveMessage(int number, std::string& text) {
    return FetchText("RETR " + std::to_string(number), text);
}

bool TQBPOP3::RetrieveTop(int number, int lines, std::string& text) {
    return FetchText("TOP " + std::to_string(number) + " " + std::to_string(lines), text,
                     MaxHeaderBytes);
}

void TQBPOP3::SendTops(const std::vector<int>& numbers, int lines, bool confirm) {
    Guarded([&] {
        if (!FPending.empty() && confirm != FConfirming)
            throw std::logic_error("Pipelined TOP commands with and without LIST mixed.");
        std::string commands;
        for (int number : numbers) {
            commands += "TOP " + std::to_string(number) + " " + std::to_string(lines) + "\r\n";
            if (confirm)
                commands += "LIST " + std::to_string(number) + "\r\n";
        }
        FConnection.Queue(commands);
        FPending.insert(FPending.end(), numbers.begin(), numbers.end());
        FConfirming = confirm;
    });
}

bool TQBPOP3::ReadTop(TStringList& dest) {
    return Guarded([&] {
        if (FPending.empty())
            throw std::logic_error("No pipelined reply to read.");
        const int number = FPending.front();
        FPending.pop_front();
        LastDataCut = false;
        LinesCut = 0;
        ListedSize = -1;
        ReadReply();
        const bool ok = LastReply.Code == TPOP3Status::OK;
        // Kept apart from dest until the LIST reply has shown that it is this message's.
        TStringList lines;
        std::exception_ptr refused; // the reply was read to its end: the LIST reply follows
        try {
            if (ok)
                ReadData(lines, MaxHeaderBytes, SIZE_MAX, TLongLines::Cut);
        } catch (const EMailInStepError&) {
            refused = std::current_exception();
        }
        if (FConfirming && FConnection.IsOpen()) {
            const std::string line = FConnection.ReadLine(static_cast<size_t>(MaxLineLength));
            const TPOP3Reply list = ParseReplyLine(line);
            // "-ERR" names no message, but it is a status line where one is due.
            if (list.Code == TPOP3Status::Unknown ||
                (list.Code == TPOP3Status::OK && ParseMessageNumber(list.Text) != number))
                throw EMailError(OutOfStep + "\"" + line + "\" came as the reply to \"LIST " +
                                 std::to_string(number) + "\".");
            if (list.Code == TPOP3Status::OK)
                ListedSize = ParseMessageSize(list.Text);
        }
        if (refused)
            std::rethrow_exception(refused);
        dest.insert(dest.end(), std::make_move_iterator(lines.begin()),
                    std::make_move_iterator(lines.end()));
        return ok;
    });
}

void TQBPOP3::ExpectNothingMore() {
    // Those bytes would be taken for the reply to the next command.
    if (FPending.empty() && FConnection.Buffered() > 0) {
        CloseConnection();
        throw EMailError(OutOfStep + "it sent more than the replies to the commands.");
    }
}

bool TQBPOP3::UIDOf(int number, std::string& uid) {
    return Guarded([&] {
        if (!SendCmd("UIDL " + std::to_string(number), false))
            return false;
        const std::string& text = LastReply.Text;
        const TListingLine fields = ParseListingLine(text);
        if (fields.Number != number || fields.Value.empty())
            throw EMailError(OutOfStep + "\"UIDL " + std::to_string(number) +
                             "\" was answered \"+OK " + text + "\".");
        uid = fields.Value;
        return true;
    });
}

void TQBPOP3::DeleteOnServer(int number) {
    Guarded([&] { SendCmd("DELE " + std::to_string(number), true); });
}

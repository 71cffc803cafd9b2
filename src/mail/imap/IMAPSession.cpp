// TQBIMAP: the IMAP client session (IMAP4rev1, STARTTLS, implicit TLS, UIDPLUS, IDLE) for INBOX.
#include "IMAPSession.h"

#include "IMAPCommand.h"
#include "net/MailError.h"
#include "net/TokenLogin.h"
#include "oauth/OAuthSasl.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <stdexcept>
#include <unordered_set>

namespace {

const std::string OutOfStep = "The server's replies are out of step: ";
// Most bytes reserved ahead for a literal: a server's size claim alone must not cost memory.
const size_t MaxReserve = size_t(16) << 20;
// Unseen messages a search may name beyond those the mailbox held: they arrived meanwhile.
const size_t UnseenMargin = 1000;
// Bytes a search response takes per uid at most: ten digits and a space.
const size_t BytesPerUID = 11;

std::string BytesText(size_t bytes) {
    if (bytes >= (size_t(1) << 20) && bytes % (size_t(1) << 20) == 0)
        return std::to_string(bytes >> 20) + " MB";
    return std::to_string(bytes) + " bytes";
}

bool StartsWithUpper(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// The attribute/value pairs of a FETCH response, as a callback per pair.
template <class TVisit> void ForEachFetchItem(const TIMAPResponse& response, TVisit visit) {
    if (response.Items.empty() || response.Items[0].Kind != TIMAPItem::TKind::List)
        return;
    const std::vector<TIMAPItem>& pairs = response.Items[0].Items;
    for (size_t i = 0; i + 1 < pairs.size(); i += 2)
        if (pairs[i].Kind == TIMAPItem::TKind::Atom)
            visit(pairs[i].Text, pairs[i + 1]);
}

} // namespace

void TQBIMAP::CloseConnection() {
    FCounting = false;
    FIdleTag.clear();
    FConnection.Close();
}

std::string TQBIMAP::NextTag() {
    return "A" + std::to_string(++FTagCount);
}

std::string TQBIMAP::Send(const std::string& command) {
    // A CR or LF would smuggle in a command of its own.
    if (command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw EMailError("Invalid character in command.");
    std::string tag = NextTag();
    FConnection.WriteLine(tag + " " + command);
    return tag;
}

TIMAPResponse TQBIMAP::Read(size_t keep) {
    TIMAPRawResponse raw;
    size_t total = 0;
    for (;;) {
        std::string line = FConnection.ReadLine(std::min(MaxLineBytes, FLineCap));
        total += line.size() + 2;
        raw.Line += line;
        uint64_t size = 0;
        if (!LiteralSizeAtEnd(line, size))
            break;
        if (total > MaxReplyBytes || size > MaxReplyBytes - total)
            throw EMailError("Reply longer than " + BytesText(MaxReplyBytes) + ".");
        TIMAPLiteral literal;
        literal.End = raw.Line.size();
        literal.Bytes.reserve(std::min({static_cast<size_t>(size), keep, MaxReserve}));
        FConnection.ReadBytes(static_cast<size_t>(size), literal.Bytes, keep);
        literal.Cut = size > keep;
        total += static_cast<size_t>(size);
        raw.Literals.push_back(std::move(literal));
    }
    if (total > MaxReplyBytes)
        throw EMailError("Reply longer than " + BytesText(MaxReplyBytes) + ".");
    FReadBytes += total;
    TIMAPResponse response = ParseIMAPResponse(std::move(raw));
    Note(response);
    return response;
}

void TQBIMAP::TakeCapabilities(const std::vector<std::string>& words) {
    Capabilities.clear();
    for (const std::string& word : words)
        if (word != "CAPABILITY")
            Capabilities.insert(word);
}

void TQBIMAP::Note(const TIMAPResponse& response) {
    if (response.Kind == TIMAPResponse::TKind::Continuation)
        return;
    if (response.IsStatus() && !response.HasNumber) {
        if (response.Name == "BYE" && !FLoggingOut)
            throw EMailError(response.Text.empty() ? "The server ended the session."
                                                   : response.Text);
        std::vector<std::string> code = IMAPWords(response.Code);
        TIMAPItem value;
        if (code.size() > 1)
            value.Text = code[1];
        if (!code.empty() && code[0] == "CAPABILITY")
            TakeCapabilities(code);
        else if (!code.empty() && code[0] == "UIDVALIDITY")
            value.Number(UIDValidity);
        else if (!code.empty() && code[0] == "UIDNEXT")
            value.Number(UIDNext);
        return;
    }
    if (response.Kind != TIMAPResponse::TKind::Untagged)
        return;
    if (response.Name == "CAPABILITY") {
        std::vector<std::string> words;
        for (const TIMAPItem& item : response.Items)
            for (std::string& word : IMAPWords(item.Text))
                words.push_back(std::move(word));
        TakeCapabilities(words);
    } else if (response.HasNumber && response.Name == "EXISTS") {
        Exists = response.Number;
        FEvents |= ieExists;
    } else if (response.HasNumber && response.Name == "EXPUNGE") {
        Exists = Exists > 0 ? Exists - 1 : 0;
        FEvents |= ieExpunge;
    } else if (response.HasNumber && response.Name == "FETCH") {
        ForEachFetchItem(response, [this](const std::string& name, const TIMAPItem&) {
            if (StartsWithUpper(name, "FLAGS"))
                FEvents |= ieFlags;
        });
    }
}

TIMAPResponse TQBIMAP::Complete(const std::string& tag, const TUntagged& untagged, size_t keep) {
    const uint64_t start = FReadBytes;
    for (;;) {
        TIMAPResponse response = Read(keep);
        // Untagged data without end is as bad as a reply without end.
        if (FReadBytes - start > MaxReplyBytes)
            throw EMailError("Reply longer than " + BytesText(MaxReplyBytes) + ".");
        if (response.Kind == TIMAPResponse::TKind::Continuation)
            throw EMailError(OutOfStep + "it asked for more of \"" + tag + "\" unasked.");
        if (response.Kind == TIMAPResponse::TKind::Tagged) {
            if (response.Tag != tag)
                throw EMailError(OutOfStep + "a reply to \"" + response.Tag +
                                 "\" came where one to \"" + tag + "\" was due.");
            LastText = response.Text;
            if (response.Name != "OK")
                throw EMailReplyError(response.Text.empty() ? response.Name : response.Text);
            return response;
        }
        if (untagged)
            untagged(response);
    }
}

void TQBIMAP::AwaitContinuation(const std::string& tag) {
    for (;;) {
        TIMAPResponse response = Read(MaxHeaderBytes);
        if (response.Kind == TIMAPResponse::TKind::Continuation)
            return;
        if (response.Kind != TIMAPResponse::TKind::Tagged)
            continue;
        if (response.Tag != tag || response.Name == "OK")
            throw EMailError(OutOfStep + "\"" + response.Tag + " " + response.Name +
                             "\" came where the server was to ask for more of \"" + tag + "\".");
        LastText = response.Text;
        throw EMailReplyError(response.Text.empty() ? response.Name : response.Text);
    }
}

void TQBIMAP::UpgradeToTLS() {
    TTLSOptions options;
    options.HostName = Server.Host;
    options.Verify = Server.TLSVerify;
    options.CAFile = TLSCAFile;
    FConnection.StartTLS(options);
}

void TQBIMAP::AskCapabilities() {
    Complete(Send("CAPABILITY"));
}

void TQBIMAP::LoginWithToken() {
    const bool bearer = HasCapability("AUTH=OAUTHBEARER");
    if (!bearer && !HasCapability("AUTH=XOAUTH2"))
        throw EMailError("The server does not offer sign-in with OAuth2 (AUTH=OAUTHBEARER or "
                         "AUTH=XOAUTH2).");
    const std::string response = TokenLoginResponse(Server, bearer);
    const std::string command = bearer ? "AUTHENTICATE OAUTHBEARER" : "AUTHENTICATE XOAUTH2";
    const bool initialResponse = HasCapability("SASL-IR");
    Capabilities.clear();
    std::string tag;
    if (initialResponse)
        tag = Send(command + " " + response);
    else {
        tag = Send(command);
        AwaitContinuation(tag);
        FConnection.WriteLine(response);
    }
    std::string challenge;
    for (;;) {
        TIMAPResponse reply = Read(MaxHeaderBytes);
        if (reply.Kind == TIMAPResponse::TKind::Continuation) {
            if (!challenge.empty() || reply.Text.empty())
                throw EMailError(OutOfStep + "it asked for more of \"" + tag + "\" again.");
            // The error challenge: answered so that the server sends its refusal.
            challenge = reply.Text;
            FConnection.WriteLine(bearer ? OAuthChallengeAbort() : std::string());
            continue;
        }
        if (reply.Kind != TIMAPResponse::TKind::Tagged)
            continue;
        if (reply.Tag != tag)
            throw EMailError(OutOfStep + "a reply to \"" + reply.Tag + "\" came where one to \"" +
                             tag + "\" was due.");
        LastText = reply.Text;
        if (reply.Name == "NO")
            throw TokenRefusal(challenge.empty() ? "" : OAuthChallengeText(challenge), reply.Text);
        if (reply.Name != "OK")
            throw EMailReplyError(reply.Text.empty() ? reply.Name : reply.Text);
        return;
    }
}

void TQBIMAP::Login() {
    if (Capabilities.empty())
        AskCapabilities();
    if (Server.Auth == TAuthKind::OAuth2) {
        LoginWithToken();
        if (Capabilities.empty())
            AskCapabilities();
        return;
    }
    const bool plain = HasCapability("AUTH=PLAIN");
    const bool initialResponse = HasCapability("SASL-IR");
    const bool literalPlus = HasCapability("LITERAL+");
    if (!plain && HasCapability("LOGINDISABLED"))
        throw EMailError("The server does not take a password over a connection without TLS; "
                         "choose STARTTLS or TLS for the account.");
    // The ones before login may differ from those after it.
    Capabilities.clear();
    if (plain && initialResponse)
        Complete(Send("AUTHENTICATE PLAIN " + SASLPlainResponse(Server.User, Server.Pass)));
    else if (plain) {
        std::string tag = Send("AUTHENTICATE PLAIN");
        AwaitContinuation(tag);
        FConnection.WriteLine(SASLPlainResponse(Server.User, Server.Pass));
        Complete(tag);
    } else {
        std::string tag = NextTag();
        std::string pending = tag + " LOGIN";
        for (const std::string* argument : {&Server.User, &Server.Pass}) {
            std::string quoted;
            if (IMAPQuoted(*argument, quoted)) {
                pending += " " + quoted;
                continue;
            }
            pending += " {" + std::to_string(argument->size()) + (literalPlus ? "+}" : "}");
            FConnection.WriteLine(pending);
            if (!literalPlus)
                AwaitContinuation(tag);
            pending = *argument;
        }
        FConnection.WriteLine(pending);
        Complete(tag);
    }
    if (Capabilities.empty())
        AskCapabilities();
}

void TQBIMAP::Establish(int timeoutMs) {
    Capabilities.clear();
    Exists = UIDValidity = UIDNext = 0;
    FIdleTag.clear();
    FEvents = 0;
    FLoggingOut = false;
    // The time limit covers the greeting, the handshake and the login too.
    FConnection.ReadTimeout = ReadTimeout > 0 ? std::min(ReadTimeout, timeoutMs) : timeoutMs;
    FConnection.Resolver = Resolver;
    FConnection.MinReplyRate = MinReplyRate;
    FConnection.Open(Server.Host, Server.Port, timeoutMs);
    if (Server.TLS == TTLSMode::Implicit)
        UpgradeToTLS();
    TIMAPResponse greeting = Read(MaxHeaderBytes);
    if (greeting.Kind != TIMAPResponse::TKind::Untagged ||
        (greeting.Name != "OK" && greeting.Name != "PREAUTH"))
        throw EMailError("Unrecognized IMAP greeting: \"" + greeting.Tag + " " + greeting.Name +
                         "\"");
    const bool preauthenticated = greeting.Name == "PREAUTH";
    if (Server.TLS == TTLSMode::STLS) {
        if (preauthenticated)
            throw EMailError("The server logged in before STARTTLS: the connection cannot be "
                             "secured.");
        if (Capabilities.empty())
            AskCapabilities();
        // Never fall back to clear text.
        if (!HasCapability("STARTTLS"))
            throw EMailError("The server does not offer STARTTLS.");
        Complete(Send("STARTTLS"));
        UpgradeToTLS();
        // Those read in clear text may have been forged.
        Capabilities.clear();
        AskCapabilities();
    }
    if (!preauthenticated)
        Login();
    else if (Capabilities.empty())
        AskCapabilities();
}

void TQBIMAP::Connect(int timeoutMs) {
    try {
        Establish(timeoutMs);
        FConnection.ReadTimeout = ReadTimeout;
    } catch (...) {
        CloseConnection();
        throw;
    }
}

bool TQBIMAP::Connected() const {
    return FConnection.IsOpen();
}

bool TQBIMAP::Logout(int timeoutMs) {
    bool confirmed = false;
    if (FConnection.IsOpen()) {
        FLoggingOut = true;
        FConnection.ReadTimeout = timeoutMs;
        try {
            if (!FIdleTag.empty())
                StopIdle();
            Complete(Send("LOGOUT"));
            confirmed = true;
        } catch (const EMailError&) {
        }
        FLoggingOut = false;
        FConnection.ReadTimeout = ReadTimeout;
    }
    CloseConnection();
    return confirmed;
}

void TQBIMAP::InterruptIdle() {
    FConnection.Interrupt();
}

void TQBIMAP::DropConnection() {
    FConnection.Drop();
}

void TQBIMAP::ResetDrop() {
    FConnection.ResetDrop();
}

void TQBIMAP::LimitReplies(int timeoutMs) {
    FConnection.ReadTimeout = timeoutMs;
}

void TQBIMAP::Select(bool readOnly) {
    Guarded([&] {
        Exists = UIDValidity = UIDNext = 0;
        Complete(Send(readOnly ? "EXAMINE INBOX" : "SELECT INBOX"));
    });
}

std::vector<uint32_t> TQBIMAP::SearchUnseen(bool undeletedOnly) {
    return Guarded([&] {
        std::vector<uint32_t> uids;
        // More uids than the mailbox holds are no answer: none is read beyond that many.
        auto most = [this] { return size_t(Exists) + UnseenMargin; };
        auto tooMany = [this] {
            return EMailError("The server's search named more unseen messages than the " +
                              std::to_string(Exists) + " in the mailbox.");
        };
        FLineCap = most() * BytesPerUID + 64;
        struct TUncap {
            size_t& Cap;
            ~TUncap() { Cap = SIZE_MAX; }
        } uncap{FLineCap};
        try {
            Complete(Send(undeletedOnly ? "UID SEARCH UNSEEN UNDELETED" : "UID SEARCH UNSEEN"),
                     [&](TIMAPResponse& response) {
                         if (response.Name != "SEARCH" || response.HasNumber)
                             return;
                         for (const TIMAPItem& item : response.Items) {
                             uint32_t uid = 0;
                             if (!item.Number(uid))
                                 continue;
                             if (uids.size() >= most())
                                 throw tooMany();
                             uids.push_back(uid);
                         }
                     });
        } catch (const ELineTooLong&) {
            throw tooMany();
        }
        std::sort(uids.begin(), uids.end());
        uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
        return uids;
    });
}

void TQBIMAP::RunBatched(const std::string& prefix, const std::vector<uint32_t>& uids,
                         const std::string& suffix, const TUntagged& untagged, size_t keep) {
    Guarded([&] {
        const std::vector<std::string> sets = IMAPUIDSets(uids, std::max<size_t>(1, FetchBatch));
        const size_t depth = static_cast<size_t>(std::max(1, PipelineDepth));
        std::deque<std::string> tags;
        size_t next = 0;
        // A refused batch is read to its end and the rest drained, so the session stays in step.
        std::exception_ptr refused;
        while (next < sets.size() || !tags.empty()) {
            // Sent in one write, as the server is to find them waiting.
            std::string commands;
            while (!refused && next < sets.size() && tags.size() < depth) {
                tags.push_back(NextTag());
                commands += tags.back() + " " + prefix + sets[next++] + suffix + "\r\n";
            }
            if (!commands.empty())
                FConnection.Write(commands);
            try {
                Complete(tags.front(), untagged, keep);
            } catch (const EMailReplyError&) {
                if (!refused)
                    refused = std::current_exception();
                next = sets.size();
            }
            tags.pop_front();
        }
        if (refused)
            std::rethrow_exception(refused);
    });
}

void TQBIMAP::FetchHeaders(const std::vector<uint32_t>& uids, const THeaderSink& sink) {
    std::vector<uint32_t> asked(uids);
    std::sort(asked.begin(), asked.end());
    // Answered with the size but no header, so far: a server may send a message's items in
    // several FETCH responses, so these are given only once every batch has been answered.
    std::map<uint32_t, TIMAPHeader> headerless;
    std::unordered_set<uint32_t> given;
    auto untagged = [&](TIMAPResponse& response) {
        if (response.Name != "FETCH" || !response.HasNumber)
            return;
        TIMAPHeader header;
        bool hasHeader = false;
        bool hasSize = false;
        ForEachFetchItem(response, [&](const std::string& name, const TIMAPItem& value) {
            if (StartsWithUpper(name, "UID"))
                value.Number(header.UID);
            else if (StartsWithUpper(name, "RFC822.SIZE")) {
                header.Size = std::strtoull(value.Text.c_str(), nullptr, 10);
                hasSize = true;
            } else if (StartsWithUpper(name, "BODY[HEADER]") &&
                       value.Kind == TIMAPItem::TKind::String) {
                header.Header = value.Text;
                header.Cut = value.Cut;
                hasHeader = true;
            }
        });
        // A FETCH the server sends of its own (flags of another message) is no answer.
        if (!std::binary_search(asked.begin(), asked.end(), header.UID) ||
            given.count(header.UID) != 0)
            return;
        const auto partial = headerless.find(header.UID);
        if (hasHeader) {
            if (partial != headerless.end()) {
                if (!hasSize)
                    header.Size = partial->second.Size;
                headerless.erase(partial);
            }
            given.insert(header.UID);
            sink(std::move(header));
        } else if (hasSize) {
            header.Missing = true;
            headerless[header.UID] = std::move(header);
        }
    };
    RunBatched("UID FETCH ", uids, " (UID RFC822.SIZE BODY.PEEK[HEADER])", untagged,
               MaxHeaderBytes);
    for (auto& [uid, header] : headerless)
        sink(std::move(header));
}

void TQBIMAP::FetchMessageIds(const std::vector<uint32_t>& uids, const TFieldsSink& sink) {
    std::vector<uint32_t> asked(uids);
    std::sort(asked.begin(), asked.end());
    std::unordered_set<uint32_t> given;
    auto untagged = [&](TIMAPResponse& response) {
        if (response.Name != "FETCH" || !response.HasNumber)
            return;
        uint32_t uid = 0;
        std::string fields;
        bool hasFields = false;
        ForEachFetchItem(response, [&](const std::string& name, const TIMAPItem& value) {
            if (StartsWithUpper(name, "UID"))
                value.Number(uid);
            else if (StartsWithUpper(name, "BODY[HEADER.FIELDS") &&
                     value.Kind == TIMAPItem::TKind::String) {
                fields = value.Text;
                hasFields = true;
            }
        });
        // A FETCH the server sends of its own (flags of another message) is no answer.
        if (hasFields && std::binary_search(asked.begin(), asked.end(), uid) &&
            given.insert(uid).second)
            sink(uid, std::move(fields));
    };
    RunBatched("UID FETCH ", uids, " (UID BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])", untagged,
               MaxHeaderBytes);
}

bool TQBIMAP::FetchMessage(uint32_t uid, std::string& text, size_t maxBytes) {
    return Guarded([&] {
        text.clear();
        bool found = false;
        std::string section = "BODY.PEEK[]";
        if (maxBytes > 0)
            section += "<0." + std::to_string(maxBytes) + ">";
        FWorkCount = 0;
        FCounting = true;
        // A refused fetch leaves the session open: the count must stop all the same.
        struct TStopCounting {
            bool& Counting;
            ~TStopCounting() { Counting = false; }
        } stopCounting{FCounting};
        Complete(
            Send("UID FETCH " + std::to_string(uid) + " (UID " + section + ")"),
            [&](TIMAPResponse& response) {
                if (response.Name != "FETCH" || !response.HasNumber)
                    return;
                uint32_t answered = 0;
                TIMAPItem* body = nullptr;
                if (response.Items.empty() || response.Items[0].Kind != TIMAPItem::TKind::List)
                    return;
                std::vector<TIMAPItem>& pairs = response.Items[0].Items;
                for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
                    if (StartsWithUpper(pairs[i].Text, "UID"))
                        pairs[i + 1].Number(answered);
                    else if (StartsWithUpper(pairs[i].Text, "BODY[]") &&
                             pairs[i + 1].Kind == TIMAPItem::TKind::String)
                        body = &pairs[i + 1];
                }
                if (answered == uid && body) {
                    text = std::move(body->Text);
                    found = true;
                }
            },
            maxBytes > 0 ? maxBytes : SIZE_MAX);
        return found;
    });
}

void TQBIMAP::MarkSeen(const std::vector<uint32_t>& uids) {
    RunBatched("UID STORE ", uids, " +FLAGS.SILENT (\\Seen)", nullptr, MaxHeaderBytes);
}

void TQBIMAP::Noop() {
    Guarded([&] { Complete(Send("NOOP")); });
}

bool TQBIMAP::Delete(const std::vector<uint32_t>& uids) {
    RunBatched("UID STORE ", uids, " +FLAGS.SILENT (\\Deleted)", nullptr, MaxHeaderBytes);
    if (!UIDPlus())
        return false;
    RunBatched("UID EXPUNGE ", uids, "", nullptr, MaxHeaderBytes);
    return true;
}

void TQBIMAP::StartIdle() {
    Guarded([&] {
        if (!CanIdle())
            throw EMailReplyError("The server does not offer IDLE.");
        FEvents = 0;
        std::string tag = Send("IDLE");
        AwaitContinuation(tag);
        FIdleTag = tag;
    });
}

unsigned TQBIMAP::WaitIdle(int timeoutMs) {
    return Guarded([&] {
        if (FIdleTag.empty())
            throw std::logic_error("WaitIdle called outside IDLE.");
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (FEvents == ieNone) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !FConnection.WaitForData(static_cast<int>(left)))
                break;
            TIMAPResponse response = Read(MaxHeaderBytes);
            if (response.Kind != TIMAPResponse::TKind::Untagged)
                throw EMailError(OutOfStep + "\"" + response.Tag + " " + response.Name +
                                 "\" came while idling.");
        }
        unsigned events = FEvents;
        FEvents = ieNone;
        return events;
    });
}

void TQBIMAP::StopIdle() {
    Guarded([&] {
        if (FIdleTag.empty())
            return;
        std::string tag = FIdleTag;
        FIdleTag.clear();
        FConnection.WriteLine("DONE");
        Complete(tag);
    });
}

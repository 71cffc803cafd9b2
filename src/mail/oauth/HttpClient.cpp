// One HTTP/1.1 request to a sign-in server over the mail layer's connection, TLS for https.
#include "HttpClient.h"

#include "OAuthError.h"
#include "net/ErrorCause.h"
#include "net/LineConnection.h"
#include "net/MailError.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

const size_t MaxHeaderLine = 8192;
const int MaxHeaderLines = 100;
const int MaxInterimAnswers = 10;
const char* const Unreachable = "The sign-in server could not be reached";
const char* const BrokenAnswer = "The sign-in server's answer broke off";
const char* const NotHttp = "The sign-in server's answer is not HTTP.";
const char* const TooLarge = "The sign-in server's answer is too large.";

[[noreturn]] void FailNotHttp() {
    throw EOAuthError(NotHttp);
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

size_t ParseSize(const std::string& text, int base) {
    size_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        FailNotHttp();
    return value;
}

std::string HostHeader(const THttpUrl& url) {
    std::string host = url.Host.find(':') != std::string::npos ? "[" + url.Host + "]" : url.Host;
    if (url.Port != (url.Secure ? 443 : 80))
        host += ":" + std::to_string(url.Port);
    return host;
}

struct THead {
    int Status = 0;
    bool Chunked = false;
    bool HasLength = false;
    size_t Length = 0;
};

THead ReadHead(TLineConnection& connection) {
    THead head;
    int answers = 0;
    // Interim answers (100 Continue) come before the real one.
    do {
        if (++answers > MaxInterimAnswers)
            FailNotHttp();
        const std::string statusLine = connection.ReadLine(MaxHeaderLine);
        if (!statusLine.starts_with("HTTP/1.") || statusLine.size() < 12 || statusLine[8] != ' ')
            FailNotHttp();
        head.Status = static_cast<int>(ParseSize(statusLine.substr(9, 3), 10));
        if (statusLine.size() > 12 && statusLine[12] != ' ')
            FailNotHttp();
        int lines = 0;
        for (;;) {
            const std::string line = connection.ReadLine(MaxHeaderLine);
            if (line.empty())
                break;
            if (++lines > MaxHeaderLines)
                FailNotHttp();
            const size_t colon = line.find(':');
            if (colon == std::string::npos || colon == 0)
                FailNotHttp();
            const std::string name = Lower(line.substr(0, colon));
            const std::string value = Trimmed(line.substr(colon + 1));
            if (name == "content-length") {
                const size_t length = ParseSize(value, 10);
                // Two lengths that differ leave the end of the answer unclear.
                if (head.HasLength && length != head.Length)
                    FailNotHttp();
                head.HasLength = true;
                head.Length = length;
            } else if (name == "transfer-encoding") {
                const std::string codings = Lower(value);
                if (codings != "chunked" && !codings.ends_with(", chunked"))
                    FailNotHttp();
                head.Chunked = true;
            }
        }
    } while (head.Status >= 100 && head.Status < 200);
    if (head.Status < 200 || head.Status > 599)
        FailNotHttp();
    return head;
}

void ReadChunked(TLineConnection& connection, std::string& body, size_t maxBody) {
    for (;;) {
        std::string line = connection.ReadLine(MaxHeaderLine);
        line = Trimmed(line.substr(0, line.find(';')));
        const size_t size = ParseSize(line, 16);
        if (size == 0)
            break;
        if (size > maxBody - body.size())
            throw EOAuthError(TooLarge);
        connection.ReadBytes(size, body);
        if (!connection.ReadLine(MaxHeaderLine).empty())
            FailNotHttp();
    }
    // Trailer fields, up to the empty line.
    for (int lines = 0; !connection.ReadLine(MaxHeaderLine).empty();)
        if (++lines > MaxHeaderLines)
            FailNotHttp();
}

void ReadToEnd(TLineConnection& connection, std::string& body, size_t maxBody) {
    for (;;) {
        const size_t take = std::max<size_t>(connection.Buffered(), 1);
        if (take > maxBody - body.size())
            throw EOAuthError(TooLarge);
        try {
            connection.ReadBytes(take, body);
        } catch (const EConnectionClosed&) {
            return;
        }
    }
}

THttpResponse ReadResponse(TLineConnection& connection, size_t maxBody) {
    const THead head = ReadHead(connection);
    THttpResponse response;
    response.Status = head.Status;
    if (head.Status == 204 || head.Status == 304)
        return response;
    if (head.Chunked)
        ReadChunked(connection, response.Body, maxBody);
    else if (head.HasLength) {
        if (head.Length > maxBody)
            throw EOAuthError(TooLarge);
        connection.ReadBytes(head.Length, response.Body);
    } else
        ReadToEnd(connection, response.Body, maxBody);
    return response;
}

} // namespace

THttpResponse HttpExchange(const std::string& method, const THttpUrl& url,
                           const std::string& contentType, const std::string& body,
                           const THttpOptions& options) {
    TLineConnection connection;
    connection.ReadTimeout = options.TimeoutMs;
    connection.Resolver = options.Resolver;
    try {
        connection.Open(url.Host, url.Port, options.TimeoutMs);
        if (url.Secure) {
            TTLSOptions tls;
            tls.HostName = url.Host;
            tls.CAFile = options.CAFile;
            connection.StartTLS(tls);
        }
    } catch (const EMailError& error) {
        throw EOAuthError(WithCause(Unreachable, error.what()) + ".");
    }
    std::string request = method + " " + url.Target + " HTTP/1.1\r\nHost: " + HostHeader(url) +
                          "\r\nAccept: application/json\r\nConnection: close\r\n";
    if (!contentType.empty() || !body.empty())
        request += "Content-Type: " + contentType +
                   "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    try {
        connection.Write(request);
        return ReadResponse(connection, options.MaxBody);
    } catch (const ELineTooLong&) {
        FailNotHttp();
    } catch (const EMailError& error) {
        throw EOAuthError(WithCause(BrokenAnswer, error.what()) + ".");
    }
}

// The errors of a mail session (POP3 or IMAP) and its connection.
#pragma once

#include <stdexcept>
#include <string>

// Any failure of the session: socket, TLS, protocol.
class EMailError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A failure that left the connection in step: the next command can follow.
class EMailInStepError : public EMailError {
  public:
    using EMailError::EMailError;
};

// The server answered "-ERR"; the connection is still in step and usable.
class EMailReplyError : public EMailInStepError {
  public:
    using EMailInStepError::EMailInStepError;
};

// A reply the program would not take (a line too long), read to its end.
class EMailRefusedReply : public EMailInStepError {
  public:
    using EMailInStepError::EMailInStepError;
};

// The server ended the connection in an orderly way; a reply that runs to the end of the
// connection ends here.
class EConnectionClosed : public EMailError {
  public:
    EConnectionClosed() : EMailError("Connection closed gracefully.") {}
};

// A line longer than the limit; the rest of it is still unread.
class ELineTooLong : public EMailError {
  public:
    ELineTooLong() : EMailError("Max line length exceeded.") {}
};

// The server refused an OAuth2 access token: a fresh one may be taken and tried once more.
class ETokenRefused : public EMailReplyError {
  public:
    using EMailReplyError::EMailReplyError;
};

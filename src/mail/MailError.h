// Exceptions raised by the POP3 session and its connection.
#pragma once

#include <stdexcept>
#include <string>

// Any failure of the session: socket, TLS, protocol.
class EPOP3Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A failure that left the connection in step: the next command can follow.
class EPOP3InStepError : public EPOP3Error {
  public:
    using EPOP3Error::EPOP3Error;
};

// The server answered "-ERR"; the connection is still in step and usable.
class EPOP3ReplyError : public EPOP3InStepError {
  public:
    using EPOP3InStepError::EPOP3InStepError;
};

// A reply the program would not take (a line too long), read to its end.
class EPOP3RefusedReply : public EPOP3InStepError {
  public:
    using EPOP3InStepError::EPOP3InStepError;
};

// A line longer than the limit; the rest of it is still unread.
class ELineTooLong : public EPOP3Error {
  public:
    ELineTooLong() : EPOP3Error("Max line length exceeded.") {}
};

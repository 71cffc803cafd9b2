// Exceptions raised by the POP3 session and its connection.
#pragma once

#include <stdexcept>
#include <string>

// Any failure of the session: socket, TLS, protocol.
class EPOP3Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The server answered "-ERR"; the connection is still in step and usable.
class EPOP3ReplyError : public EPOP3Error {
  public:
    using EPOP3Error::EPOP3Error;
};

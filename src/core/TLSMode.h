// Transport security of an account's session, shared by the settings and the mail layer.
#pragma once

// The settings file keeps these numbers under "TLS".
enum class TTLSMode : int {
    None = 0,
    STLS = 1,    // STLS / STARTTLS after the greeting
    Implicit = 2 // TLS from the first byte (POP3S, IMAPS)
};

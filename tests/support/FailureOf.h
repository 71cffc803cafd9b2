// The message of the mail error a step must raise.
#pragma once

#include "mail/MailError.h"

#include <gtest/gtest.h>

#include <string>

// Runs a step that must fail with EPOP3Error and returns its message; a step that raises
// nothing fails the test.
template <class TStep> std::string FailureOf(TStep step) {
    try {
        step();
    } catch (const EPOP3Error& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error raised";
    return "";
}

// The message of the mail error a step must raise.
#pragma once

#include "net/MailError.h"

#include <gtest/gtest.h>

#include <string>

// Runs a step that must fail with EMailError and returns its message; a step that raises
// nothing fails the test.
template <class TStep> std::string FailureOf(TStep step) {
    try {
        step();
    } catch (const EMailError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error raised";
    return "";
}

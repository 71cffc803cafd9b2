// Test base for session tests against Dovecot: one server for the suite, and a user of its
// own with three generated messages for every test.
#pragma once

#include "DovecotServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// withIMAP: the suite needs Dovecot's IMAP as well as its POP3.
template <bool withIMAP> class TDovecotUserTest : public ::testing::Test {
  protected:
    static inline std::unique_ptr<TDovecotServer> Dovecot;
    int User = 0;

    static std::string Unavailable() {
        return TDovecotServer::Unavailable() + (withIMAP ? TDovecotServer::IMAPUnavailable() : "");
    }
    static void SetUpTestSuite() {
        if (Unavailable().empty())
            Dovecot = std::make_unique<TDovecotServer>(0);
    }
    static void TearDownTestSuite() {
        if (Dovecot && std::getenv("QB_SHOW_DOVECOT_LOG"))
            std::printf("%s\n", Dovecot->Log().c_str());
        Dovecot.reset();
    }

    void SetUp() override {
        if (!Dovecot)
            GTEST_SKIP() << Unavailable();
        User = Dovecot->AddUser();
        for (int n = 1; n <= 3; ++n)
            Dovecot->AddMessage(User, TDovecotServer::GenerateMessage(n));
        Dovecot->ClearCommands();
    }
};

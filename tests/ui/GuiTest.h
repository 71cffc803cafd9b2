// GUI test base: the application on the offscreen platform, a program folder per test,
// the real bar and message list, and a Dovecot server shared by the tests of a suite.
#pragma once

#include "TempDir.h"
#include "bar/FMain.h"
#include "windows/FMsgList.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "DovecotServer.h"

// Skips a test where Dovecot cannot run (not root, not installed).
#define QB_NEED_DOVECOT()                                                                          \
    do {                                                                                           \
        const std::string why = TDovecotServer::Unavailable();                                     \
        if (!why.empty())                                                                          \
            GTEST_SKIP() << why;                                                                   \
    } while (0)
struct TAccount;

class TGuiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The suite's Dovecot, started on first use; skips the test where it cannot run.
    TDovecotServer& Dovecot();
    // A new Dovecot user with count generated messages, added to Accounts.
    int AddDovecotAccount(const std::string& name, int messages, bool active = true);

    // An account on a server of the test at 127.0.0.1:port, added to Accounts.
    static void AddLoopbackAccount(const std::string& name, int port, bool active = true);

    // Creates the bar (which queues the first check) and then the message list.
    void StartProgram();
    // Destroys the bar (stopping the worker) and then the message list.
    void StopProgram();
    // Processes events until condition holds; false after timeoutMs.
    static bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);
    // Waits until the job queue is empty.
    bool WaitForJobs(int timeoutMs = 30000);
    // Lets the idle worker end its session, so that the next check sees the mailbox as
    // it is now (a POP3 session keeps the state it began with).
    void LetSessionEnd();

    std::unique_ptr<TTempDir> Dir;
    std::unique_ptr<TfrmMain> Main;
    std::unique_ptr<TfrmMsgList> List;

  private:
    static std::unique_ptr<TDovecotServer> FDovecot;
    static int FNextUser;
};

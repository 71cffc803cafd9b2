// Store test base: a program folder per test, the message store with its real worker,
// Dovecot shared by the tests of a suite, and waits that serve the event loop.
#pragma once

#include "core/Settings.h"

#include "DovecotServer.h"
#include "TempDir.h"
#include "store/MessageStore.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

// Skips a test where Dovecot cannot run (not root, not installed).
#define QB_NEED_DOVECOT()                                                                          \
    do {                                                                                           \
        const std::string why = TDovecotServer::Unavailable();                                     \
        if (!why.empty())                                                                          \
            GTEST_SKIP() << why;                                                                   \
    } while (0)

// The same where Dovecot's IMAP cannot run.
#define QB_NEED_DOVECOT_IMAP()                                                                     \
    do {                                                                                           \
        const std::string why = TDovecotServer::IMAPUnavailable();                                 \
        if (!why.empty())                                                                          \
            GTEST_SKIP() << why;                                                                   \
    } while (0)

class TStoreTest : public ::testing::Test {
  protected:
    // Creates a core application when the test program has none.
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    static void UseTestSettingsFolder();
    void SetUp() override;
    void TearDown() override;

    // The suite's Dovecot, started on first use; skips the test where it cannot run.
    TDovecotServer& Dovecot();
    // A new Dovecot user with count generated messages, added to Accounts.
    int AddDovecotAccount(const std::string& name, int messages, bool active = true);
    // The same as an IMAP account (clear text, on Dovecot's IMAP port).
    int AddDovecotIMAPAccount(const std::string& name, int messages, bool active = true);
    // An account on a server of the test at 127.0.0.1:port, added to Accounts.
    static void AddLoopbackAccount(const std::string& name, int port, bool active = true);

    // Creates the store and starts it (which queues the first check).
    virtual void StartProgram();
    // Shuts the store down (stopping the worker) and destroys it.
    virtual void StopProgram();
    // Processes events until condition holds; false after timeoutMs.
    // Sets one option through the settings, as the options dialog does.
    template <class TField, class TValue>
    static void SetOption(TField TOptions::*field, TValue value) {
        Settings().UpdateOptions([&](TOptions& options) { options.*field = value; });
    }
    static bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);
    // Waits until the job queue is empty and no view is being prepared.
    bool WaitForJobs(int timeoutMs = 30000);
    // Opens the entry at index in the read session, as a click on its button does.
    void Open(int index);
    // Lets the idle worker end its session, so that the next check sees the mailbox as
    // it is now (a POP3 session keeps the state it began with). staying: the connections
    // that stay open meanwhile (an IMAP account's push, another client).
    void LetSessionEnd(size_t staying = 0);
    // Prints the commands Dovecot saw since they were last cleared, once their session
    // has ended, and clears them: the test's output shows what the server was asked.
    void PrintServerCommands(const std::string& step);

    std::unique_ptr<TTempDir> Dir;
    TStoreConfig Config; // what StartProgram gives the store
    std::unique_ptr<TMessageStore> Store;

  private:
    static std::unique_ptr<TDovecotServer> FDovecot;
    static int FNextUser;
};

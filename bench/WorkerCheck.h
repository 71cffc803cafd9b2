// One check job by the bare worker against a POP3 user, its events served by a plain loop.
#pragma once

#include "DovecotServer.h"
#include "MainLoop.h"
#include "worker/QBThread.h"

#include <chrono>
#include <cstdio>
#include <string>

// Runs a check of the user's mailbox from start to OnCheckDone and returns its seconds;
// messages counts the headers received. Without pipelining, one command at a time.
inline double WorkerCheck(int port, const std::string& user, const std::string& password,
                          int& messages, bool pipelining = true, TMailProtocol protocol = mpPOP3) {
    TMainLoop loop;
    TQBThread worker(
        30000, [&](const std::function<void()>& call) { loop.Synchronize(call); }, nullptr);
    bool handedOver = false, done = false;
    messages = 0;
    worker.OnGetTask = [&](TQBThread& sender, bool& hasTask) {
        hasTask = !handedOver;
        if (!hasTask)
            return;
        handedOver = true;
        sender.Task.Kind = tkCheck;
        sender.Task.Protocol = static_cast<uint8_t>(protocol);
        sender.Task.Host = "127.0.0.1";
        sender.Task.Port = port;
        sender.Task.User = user;
        sender.Task.Pass = password;
        sender.Task.Account = 0;
        sender.ServerList.clear();
    };
    worker.OnMessage = [&](TQBThread&, const TStringList* lines, int, const std::string&) {
        if (lines && !lines->empty())
            ++messages;
    };
    worker.OnCheckDone = [&](TQBThread&) { done = true; };
    // A session that fails (a mailbox still locked by the last one, say) ends the wait.
    worker.OnError = [&](TQBThread&, int fatal, const std::string& text) {
        if (fatal) {
            std::fprintf(stderr, "check failed: %s\n", text.c_str());
            done = true;
        }
    };
    worker.POP3.AllowPipelining = pipelining;
    auto start = std::chrono::steady_clock::now();
    worker.Resume();
    loop.RunUntil([&] { return done; }, 600000);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worker.Terminate();
    loop.RunUntil([&] { return worker.Finished.load(); }, 10000);
    return seconds;
}

inline double WorkerCheck(TDovecotServer& dovecot, int user, int& messages) {
    return WorkerCheck(dovecot.Port(), dovecot.User(user), dovecot.Password(user), messages);
}

// One check job by the bare worker against a Dovecot user, its events served by a plain loop.
#pragma once

#include "DovecotServer.h"
#include "MainLoop.h"
#include "mail/QBThread.h"

#include <chrono>
#include <string>

// Runs a check of the user's mailbox from start to OnCheckDone and returns its seconds;
// messages counts the headers received.
inline double WorkerCheck(TDovecotServer& dovecot, int user, int& messages) {
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
        sender.Task.Host = "127.0.0.1";
        sender.Task.Port = dovecot.Port();
        sender.Task.User = dovecot.User(user);
        sender.Task.Pass = dovecot.Password(user);
        sender.Task.Account = 0;
        sender.ServerList.clear();
    };
    worker.OnMessage = [&](TQBThread&, const TStringList* lines, int, const std::string&) {
        if (lines && !lines->empty())
            ++messages;
    };
    worker.OnCheckDone = [&](TQBThread&) { done = true; };
    auto start = std::chrono::steady_clock::now();
    worker.Resume();
    loop.RunUntil([&] { return done; }, 600000);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worker.Terminate();
    loop.RunUntil([&] { return worker.Finished.load(); }, 10000);
    return seconds;
}

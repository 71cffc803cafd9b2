// One check job by the bare worker against a POP3 user, its events served by a plain loop.
#pragma once

#include "DovecotServer.h"
#include "MainLoop.h"
#include "worker/QBThread.h"

#include <chrono>
#include <cstdio>
#include <string>

// Runs a check of the user's mailbox from start to the end of its pass and returns its seconds;
// messages counts the headers received. Without pipelining, one command at a time.
inline double WorkerCheck(int port, const std::string& user, const std::string& password,
                          int& messages, bool pipelining = true,
                          TMailProtocol protocol = TMailProtocol::POP3) {
    TMainLoop loop;
    TQBThread worker(
        30000, [&](const std::function<void()>& call) { loop.Synchronize(call); }, nullptr);
    bool handedOver = false, done = false;
    messages = 0;
    worker.Events.GetJob = [&]() -> std::optional<TJobOrder> {
        if (handedOver)
            return std::nullopt;
        handedOver = true;
        TJobOrder order;
        order.Task.Kind = TJobKind::Check;
        order.Task.Server.Protocol = protocol;
        order.Task.Server.Host = "127.0.0.1";
        order.Task.Server.Port = port;
        order.Task.Server.User = user;
        order.Task.Server.Pass = password;
        order.Task.Account = 0;
        return order;
    };
    worker.Events.Announced = [&](TAnnounced& message) {
        if (!message.Header.empty())
            ++messages;
    };
    worker.Events.CheckEnded = [&](TCheckEnded&) { done = true; };
    // A session that fails (a mailbox still locked by the last one, say) ends the wait.
    worker.Events.Error = [&](const TWorkerError& error) {
        if (error.Severity == TErrorSeverity::Fatal) {
            std::fprintf(stderr, "check failed: %s\n", error.Text.c_str());
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
    loop.RunUntil([&] { return worker.Finished(); }, 10000);
    return seconds;
}

inline double WorkerCheck(TDovecotServer& dovecot, int user, int& messages) {
    return WorkerCheck(dovecot.Port(), dovecot.User(user), dovecot.Password(user), messages);
}

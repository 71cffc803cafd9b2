// The end-to-end helpers' end: told to stop (SIGTERM, SIGINT), they stop Dovecot, remove its
// folder and exit.
#pragma once

#include "DovecotServer.h"

#include <csignal>
#include <cstdlib>
#include <thread>

// Call once Dovecot runs: it would inherit the blocked signals and never hear its own stop.
inline void StopOnSignal(TDovecotServer& dovecot) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::thread([&dovecot, stop] {
        int signal = 0;
        sigwait(&stop, &signal);
        dovecot.Discard();
        std::_Exit(0);
    }).detach();
}

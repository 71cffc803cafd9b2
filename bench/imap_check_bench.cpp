// Benchmark: the worker's IMAP check of a 1,000- and a 10,000-message Dovecot INBOX (EXAMINE,
// UID SEARCH UNSEEN, then size and header of every unseen message), against Python's imaplib
// doing the same in the same run.
#include "DovecotServer.h"
#include "PythonPeer.h"
#include "WorkerCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct TMailboxRun {
    int Messages;
    int Runs;
};
const TMailboxRun MailboxRuns[] = {{1000, 5}, {10000, 3}};

// The worker's check job, as the program runs it: a large one fetches over two sessions.
double OwnCheck(const TDovecotServer& dovecot, int& headers) {
    return WorkerCheck(dovecot.IMAPPort(), dovecot.User(0), dovecot.Password(0), headers, true,
                       TMailProtocol::IMAP);
}

double ImaplibCheck(const TDovecotServer& dovecot, int& unseen) {
    return PythonCheck(QB_BENCH_DIR "/imaplib_check.py", dovecot.IMAPPort(), dovecot.User(0),
                       dovecot.Password(0), unseen);
}

// Prints the figures of one mailbox size; false when a check saw the wrong count.
bool Measure(int messageCount, int runs) {
    std::cout << "Check of a " << messageCount << "-message Dovecot INBOX (UID SEARCH UNSEEN + "
              << "header fetch), " << runs << " runs each, median\n";
    TDovecotServer dovecot(1, messageCount, false);
    int ours = 0, theirs = 0;
    ImaplibCheck(dovecot, theirs); // Dovecot builds its index on first access
    std::vector<double> oursTimes, theirsTimes;
    for (int run = 0; run < runs; ++run) {
        oursTimes.push_back(OwnCheck(dovecot, ours));
        theirsTimes.push_back(ImaplibCheck(dovecot, theirs));
    }
    if (ours != messageCount || theirs != messageCount) {
        std::cerr << "imap_check_bench: expected " << messageCount << " headers, got " << ours
                  << " and " << theirs << "\n";
        return false;
    }
    const double oursMedian = Median(oursTimes), theirsMedian = Median(theirsTimes);
    std::printf("quillbar IMAP check:  %8.1f ms\n", oursMedian * 1000);
    std::printf("python imaplib check: %8.1f ms\n", theirsMedian * 1000);
    std::printf("ratio quillbar / imaplib: %.2f\n", oursMedian / theirsMedian);
    return true;
}

} // namespace

int main() {
    const std::string why = TDovecotServer::Unavailable() + TDovecotServer::IMAPUnavailable();
    if (!why.empty()) {
        std::cerr << "imap_check_bench: " << why << "\n";
        return 1;
    }
    for (const TMailboxRun& run : MailboxRuns)
        if (!Measure(run.Messages, run.Runs))
            return 1;
    return 0;
}

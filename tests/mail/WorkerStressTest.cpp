// Stress test of TQBThread: 200 mixed jobs over two accounts whose servers drop at random.
#include "FakePOP3Server.h"
#include "WorkerHarness.h"

#include <atomic>
#include <dirent.h>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <thread>

namespace {

int ThreadCount() {
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    while (dirent* entry = readdir(tasks))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(tasks);
    return count;
}

// The event that must close a job of this kind when nothing broke it off.
bool IsLastEvent(TJobKind kind, const std::string& event) {
    if (event.rfind("error:", 0) == 0)
        return true;
    switch (kind) {
    case TJobKind::Check:
        return event == "checkdone";
    case TJobKind::Retrieve:
        return event.rfind("message:", 0) == 0 && event.find(":nil") == std::string::npos;
    default:
        return event.rfind("removed:", 0) == 0;
    }
}

} // namespace

TEST(WorkerStressTest, EveryJobEndsDespiteDropsAndCancels) {
    const int jobCount = 200;
    TFakePOP3Server servers[2];
    for (int account = 0; account < 2; ++account) {
        servers[account].SetLogin("user", "pass");
        for (int n = 1; n <= 60; ++n)
            servers[account].AddMessage("a" + std::to_string(account) + "m" + std::to_string(n),
                                        "Subject: " + std::to_string(n) + "\r\n\r\nbody\r\n");
        servers[account].SetDropChance(0.04, 17u + static_cast<unsigned>(account));
    }
    int threadsBefore = ThreadCount();

    std::set<int> cancelled;
    std::vector<TJobKind> kinds(jobCount + 1);
    {
        TWorkerHarness h(2000);
        std::mt19937 random(4242);
        for (int job = 1; job <= jobCount; ++job) {
            int account = static_cast<int>(random() % 2);
            auto kind = static_cast<TJobKind>(random() % 4);
            TQBTaskInfo task =
                TWorkerHarness::Job(kind, servers[account].Port(), account,
                                    kind == TJobKind::Check ? -1 : 1 + random() % 12);
            task.Server.APOP = random() % 3 == 0;
            // Keys of messages as they were first numbered: removals make some of them gone.
            auto ref = [account](int number) {
                return TWorkerHarness::Ref(number, "a" + std::to_string(account) + "m" +
                                                       std::to_string(number));
            };
            if (kind == TJobKind::Retrieve || kind == TJobKind::Remove)
                task.Messages = {ref(task.MsgNum)};
            if (kind == TJobKind::RemoveSeveral)
                task.Messages = {ref(static_cast<int>(1 + random() % 5)),
                                 ref(static_cast<int>(6 + random() % 5))};
            kinds[static_cast<size_t>(job)] = kind;
            h.Add(task);
        }

        // Cancels from the main thread at random moments, as a user would.
        std::atomic<bool> done{false};
        std::thread canceller([&] {
            std::mt19937 timing(99);
            while (!done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1 + timing() % 4));
                h.Loop.Post([&, roll = timing() % 10] {
                    if (roll < 2 && !done) {
                        cancelled.insert(h.CurrentJob);
                        h.Worker->Stop();
                    }
                });
            }
        });
        h.Start();
        bool allEnded = h.RunJobs(240000);
        done = true;
        canceller.join();
        h.Loop.RunFor(20); // the canceller's last posts
        ASSERT_TRUE(allEnded) << h.EndedJobs.size() << " jobs ended";
        h.Finish();
        EXPECT_FALSE(h.EventsAfterFinish);

        std::vector<int> expected(jobCount);
        for (int job = 1; job <= jobCount; ++job)
            expected[static_cast<size_t>(job - 1)] = job;
        EXPECT_EQ(h.EndedJobs, expected);

        int job = 1, checked = 0;
        std::string last;
        for (const std::string& event : h.Events) {
            if (event.rfind("status:", 0) == 0)
                continue;
            if (event.rfind("ended:", 0) == 0) {
                if (!cancelled.count(job)) {
                    EXPECT_TRUE(IsLastEvent(kinds[static_cast<size_t>(job)], last))
                        << "job " << job << " of kind " << int(kinds[static_cast<size_t>(job)])
                        << " ended after \"" << last << "\"";
                    ++checked;
                }
                ++job;
                last.clear();
            } else
                last = event;
        }
        EXPECT_GT(checked, jobCount / 2);
        std::cout << "jobs: " << jobCount << ", cancelled: " << cancelled.size()
                  << ", connections: " << servers[0].Connections() + servers[1].Connections()
                  << ", errors: " << h.Only("error:").size() << "\n";
    }
    // Only the servers' own threads remain: the worker and its helpers are gone.
    EXPECT_TRUE(servers[0].WaitIdle() && servers[1].WaitIdle());
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

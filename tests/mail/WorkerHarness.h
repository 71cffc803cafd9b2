// TWorkerHarness: a main window's side of the worker for tests: queue, lists, event log.
#pragma once

#include "MainLoop.h"
#include "core/MD5Hex.h"
#include "mime/MessageFields.h"
#include "worker/QBThread.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Hands out queued jobs as the main window does, keeps each account's list of
// known keys, and logs every event as text. Every event must arrive on the
// loop's thread, one at a time.
class TWorkerHarness {
  public:
    TMainLoop Loop;
    std::deque<TQBTaskInfo> Tasks;
    std::map<int, TStringList> ServerLists;
    std::vector<std::string> Events;
    std::vector<TStringList> Messages; // every announced header and retrieved message
    std::vector<TAnnounced> Announced; // every announcement, without its header
    std::vector<bool> Wholes;          // whether each retrieved message came whole
    std::vector<int> EndedJobs;        // Id of every ended job, in order
    std::vector<TJobResult> Results;   // and how each ended
    std::vector<std::pair<int64_t, int64_t>> Progress;
    TSizeAnswer SizeAnswer = TSizeAnswer::Whole;
    std::unique_ptr<TQBThread> Worker;
    std::atomic<bool> InEvent{false};
    int CurrentJob = 0;  // Id of the job last handed over
    TQBTaskInfo Current; // the job last handed over
    bool EventsAfterFinish = false;
    std::atomic<int> Synchronized{0}; // calls the worker made to the main thread

    // A retrieved message's text as the lines a check's header comes in.
    static TStringList LinesOf(const std::string& text) {
        TStringList lines;
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find("\r\n", at);
            lines.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 2;
        }
        return lines;
    }

    explicit TWorkerHarness(int connectTimeout = 5000) {
        Worker = std::make_unique<TQBThread>(
            connectTimeout,
            [this](const std::function<void()>& call) {
                ++Synchronized;
                Loop.Synchronize(call);
            },
            [this](const TWorkerProgress& progress) {
                Loop.Post([=, this] {
                    EXPECT_TRUE(Loop.OnLoopThread());
                    Progress.emplace_back(progress.Received, progress.Size);
                });
            });
        TWorkerEvents& events = Worker->Events;
        events.GetJob = [this]() -> std::optional<TJobOrder> {
            Enter();
            std::optional<TJobOrder> order;
            if (!Tasks.empty()) {
                order.emplace();
                order->Task = Tasks.front();
                Tasks.pop_front();
                order->ServerList = ServerLists[order->Task.Account];
                // A message named by number only gets the key the last check gave it.
                for (TMessageRef& ref : order->Task.Messages)
                    if (ref.UID.empty() && ref.Number > 0 &&
                        ref.Number <= static_cast<int>(order->ServerList.size()))
                        ref.UID = order->ServerList[static_cast<size_t>(ref.Number) - 1];
                Current = order->Task;
                CurrentJob = static_cast<int>(Current.Id);
            }
            Leave();
            return order;
        };
        events.Status = [this](const std::string& text) { Log("status:" + text); };
        events.Error = [this](const TWorkerError& error) {
            Log("error:" + std::string(error.Severity == TErrorSeverity::Fatal ? "1" : "0") + ":" +
                error.Text);
        };
        events.Announced = [this](TAnnounced& message) {
            Messages.push_back(message.Header);
            Announced.push_back(message);
            Announced.back().Header.clear();
            Log("message:" + std::to_string(message.Number) + ":" + message.UID);
        };
        events.Retrieved = [this](TRetrieved& message) {
            Messages.push_back(LinesOf(message.Text));
            Wholes.push_back(message.Whole);
            Log("message:" + std::to_string(message.Number));
        };
        events.Removed = [this](const TRemoved& message) {
            Log("removed:" + std::to_string(message.Message));
        };
        events.Changed = [this](TChanged& message) {
            Messages.push_back(message.Header);
            Log("changed:" + std::to_string(message.Message) + ":" +
                std::to_string(message.Number) + ":" + MessageIdOf(message.Header));
        };
        events.Renumbered = [this](const TRenumbered& message) {
            Log("renumber:" + message.UID + ":" + std::to_string(message.Number));
        };
        events.CheckEnded = [this](TCheckEnded& check) {
            // As the main window: at once, not only at the next request for a job.
            ServerLists[Current.Account] = check.ServerList;
            Log(check.Complete ? "checkdone" : "checkdone:incomplete");
        };
        events.SizeWarning = [this](int size) {
            Log("sizewarning:" + std::to_string(size));
            return SizeAnswer;
        };
        events.JobEnded = [this](const TJobEnded& job) {
            EXPECT_EQ(job.Job, Current.Id);
            EndedJobs.push_back(static_cast<int>(job.Job));
            Results.push_back(job.Result);
            Log("ended:" + std::to_string(static_cast<int>(job.Job)));
        };
        Worker->MaxSize = -1;
        Worker->MaxLines = 2;
    }

    ~TWorkerHarness() { Finish(); }

    // Runs the queued jobs, lets the idle worker end its sessions until serversIdle says
    // so, and stops it.
    void RunAll(const std::function<bool()>& serversIdle) {
        Start();
        ASSERT_TRUE(RunJobs());
        EXPECT_TRUE(Loop.RunUntil(serversIdle));
        Finish();
        EXPECT_FALSE(EventsAfterFinish);
    }

    // The events after the first one equal to event.
    std::vector<std::string> After(const std::string& event) const {
        auto at = std::find(Events.begin(), Events.end(), event);
        return at == Events.end() ? std::vector<std::string>{}
                                  : std::vector<std::string>(at + 1, Events.end());
    }
    // A retrieval of message 1 as the second job, after a check that was broken off.
    static std::vector<std::string> SecondJobRetrievingMessage1() {
        return {"status:Connecting to 127.0.0.1...",
                "status:Retrieving message size...",
                "status:Retrieving message...",
                "message:1",
                "status:",
                "ended:2"};
    }

    // A check's announcements go to the loop without the worker waiting, as in the program.
    void QueueAnnouncements() {
        Worker->Queue = [this](std::function<void()> call) { Loop.Post(std::move(call)); };
    }

    // Queues a job whose Id is its position in the queue, from 1.
    TQBTaskInfo& Add(TQBTaskInfo task) {
        task.Id = TJobId(++FAdded);
        Tasks.push_back(std::move(task));
        if (Worker)
            Worker->Wake();
        return Tasks.back();
    }

    void Start() { Worker->Resume(); }

    // Runs the loop until every queued job has ended.
    bool RunJobs(int timeoutMs = 30000) {
        return Loop.RunUntil([this] { return static_cast<int>(EndedJobs.size()) == FAdded; },
                             timeoutMs);
    }

    // Ends the worker as the main window does at exit, serving events meanwhile.
    void Finish() {
        if (!Worker)
            return;
        Worker->Stop();
        Worker->Terminate();
        EXPECT_TRUE(Loop.RunUntil([this] { return Worker->Finished(); }, 20000));
        size_t seen = Events.size() + EndedJobs.size();
        Loop.RunFor(50);
        EventsAfterFinish = Events.size() + EndedJobs.size() != seen;
        Worker.reset();
    }

    // The events with the given prefix, in order.
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& event : Events)
            if (event.compare(0, prefix.size(), prefix) == 0)
                found.push_back(event);
        return found;
    }

    // A message as a job names it: the number of the last check and the server's unique id
    // ("" to take the key of that number from the account's list when the job is handed over).
    static TMessageRef Ref(int number, const std::string& serverUid = "") {
        TMessageRef ref;
        ref.Number = number;
        ref.UID = serverUid.empty() ? "" : MD5Hex(serverUid);
        return ref;
    }
    static std::vector<TMessageRef> Refs(const std::vector<int>& numbers) {
        std::vector<TMessageRef> refs;
        for (int number : numbers)
            refs.push_back(Ref(number));
        return refs;
    }

    static TQBTaskInfo Job(TJobKind kind, int port, int account, int msgNum = -1) {
        TQBTaskInfo task;
        task.Kind = kind;
        task.Server.Host = "127.0.0.1";
        task.Server.Port = port;
        task.Server.User = "user";
        task.Server.Pass = "pass";
        task.MsgNum = msgNum;
        task.Account = account;
        return task;
    }

  private:
    int FAdded = 0;

    void Enter() {
        EXPECT_TRUE(Loop.OnLoopThread());
        EXPECT_FALSE(InEvent.exchange(true)) << "events overlap";
    }
    void Leave() { InEvent = false; }

    void Log(const std::string& event) {
        Enter();
        Events.push_back(event);
        Leave();
    }
};

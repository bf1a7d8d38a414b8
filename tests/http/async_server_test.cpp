#include "engine/http/async_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/http/async_client.h"
#include "engine/http/async_thunk.h"
#include "engine/http/worker_thread.h"
#include "harvion/saf_client.h"
#include "platform/threads/event.h"
#include "support/test_home.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

// Counts what every job of a test hears, so a test can wait for it.
class Tally {
 public:
  void Add(std::function<void()> change) {
    std::lock_guard lock(m_mutex);
    change();
    m_changed.notify_all();
  }
  bool WaitUntil(const std::function<bool()>& done) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kPatience, done);
  }
  std::mutex m_mutex;

 private:
  std::condition_variable m_changed;
};

class TestJob : public CAsyncClient {
 public:
  explicit TestJob(Tally& tally) : m_tally(tally) {}

  int GetRequestData(CWorkerThread*, int, HGLOBAL& buffer) override {
    buffer = nullptr;
    m_tally.Add([&] {
      m_runningOn = std::this_thread::get_id();
      m_log += "R";
    });
    return 0;
  }
  void OnQueued() override { m_tally.Add([&] { m_log += "Q"; }); }
  void OnStarted() override { m_tally.Add([&] { m_log += "S"; }); }
  void OnComplete(int status) override {
    m_tally.Add([&] { m_log += "C" + std::to_string(status); });
    if (m_then) m_then();
  }

  // Read under the tally's lock or after the server stopped.
  std::string m_log;
  std::thread::id m_runningOn;
  std::function<void()> m_then;  // runs after the completion is counted

 private:
  Tally& m_tally;
};

// Runs a job as a transport does: one call into the client under its thunk,
// then, holding nothing, waits for the test to let the job end.
class GatedWorker : public CWorkerThread {
 public:
  GatedWorker(CAsyncServer* server, int index, CEvent& gate, Tally& tally, int& idleCalls)
      : CWorkerThread(server, index), m_gate(gate), m_tally(tally), m_nIdleCalls(idleCalls) {}

 protected:
  void IdleWork() override { m_tally.Add([&] { ++m_nIdleCalls; }); }
  void StartJob() override {
    HGLOBAL none = nullptr;
    CAsyncClient* client = m_pThunk->LockClient();
    if (client) client->GetRequestData(this, 0, none);
    m_pThunk->ReleaseClient(client);
    m_gate.Wait();
    client = m_pThunk->LockClient();
    if (client) client->GetRequestData(this, 0, none);
    m_pThunk->ReleaseClient(client);
    JobDone(0);
  }

 private:
  CEvent& m_gate;
  Tally& m_tally;
  int& m_nIdleCalls;
};

class TestServer : public CAsyncServer {
 public:
  TestServer() { m_nServerType = CUIClient::stHttp; }
  ~TestServer() override { Shutdown(); }

  CEvent* m_pGate = nullptr;  // when set, workers wait on it inside each job
  Tally m_tally;
  int m_nIdleCalls = 0;  // times a worker found nothing to do, under m_tally's lock
  bool m_bStartFails = false;
  int m_nNoWorkerAt = -1;  // the index whose worker cannot be made

 protected:
  bool OnStart() override { return !m_bStartFails; }
  std::unique_ptr<CWorkerThread> CreateWorker(int index) override {
    if (index == m_nNoWorkerAt) return nullptr;
    if (!m_pGate) return CAsyncServer::CreateWorker(index);
    return std::make_unique<GatedWorker>(this, index, *m_pGate, m_tally, m_nIdleCalls);
  }
};

// Records the server's reports as the engine interface passes them on.
class ProgressObserver : public CUIClient {
 public:
  CUINode* CreateUINode(CSafNode*, CSafNode*, int, unsigned long, CArchive*, unsigned long) override { return {}; }
  HWND GetBrowserWnd() override { return nullptr; }
  HWND GetMainWnd() override { return nullptr; }
  void ServerProgress(serverType, serverProgress progress) override {
    std::lock_guard lock(m_mutex);
    m_reports.push_back(progress);
    m_changed.notify_all();
  }
  // The reports once there are count of them (all there are after the wait).
  std::vector<int> WaitFor(std::size_t count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, kPatience, [&] { return m_reports.size() >= count; });
    return m_reports;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<int> m_reports;
};

class AsyncServer : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    CSafClient::GetSafClient()->Connect(&m_observer);
  }

  std::vector<std::unique_ptr<TestJob>> MakeJobs(int count) {
    std::vector<std::unique_ptr<TestJob>> jobs;
    for (int i = 0; i < count; ++i) jobs.push_back(std::make_unique<TestJob>(m_tally));
    return jobs;
  }
  bool WaitForLogs(const std::vector<TestJob*>& jobs, std::size_t length) {
    return m_tally.WaitUntil([&] {
      for (auto* job : jobs) {
        if (job->m_log.size() < length) return false;
      }
      return true;
    });
  }

  Tally m_tally;
  ProgressObserver m_observer;
};

TEST_F(AsyncServer, start_takes_one_to_63_workers_and_each_runs_a_job_at_once) {
  CEvent gate;
  TestServer server;
  for (int count : {0, 64, -1}) {
    EXPECT_FALSE(server.Start(count)) << count;
    EXPECT_EQ(server.GetState(), CAsyncServer::Stopped) << count;
  }
  EXPECT_TRUE(m_observer.WaitFor(0).empty());

  server.m_pGate = &gate;
  ASSERT_TRUE(server.Start(63));
  EXPECT_FALSE(server.Start(1));  // running
  auto jobs = MakeJobs(63);
  for (auto& job : jobs) server.Submit(job.get());
  server.Finish();
  EXPECT_FALSE(server.Start(1));  // finishing
  std::vector<TestJob*> all;
  for (auto& job : jobs) all.push_back(job.get());
  ASSERT_TRUE(WaitForLogs(all, 3));  // queued, started, running: all at once
  std::set<std::thread::id> threads;
  for (auto* job : all) threads.insert(job->m_runningOn);
  EXPECT_EQ(threads.size(), 63u);
  gate.SetEvent();
  EXPECT_EQ(m_observer.WaitFor(2), (std::vector<int>{0, 2}));
  EXPECT_EQ(server.GetState(), CAsyncServer::Stopped);
  for (auto* job : all) EXPECT_EQ(job->m_log, "QSRRC0");
}

TEST_F(AsyncServer, a_start_that_fails_reports_nothing_and_the_next_one_runs) {
  TestServer server;
  for (const auto& [startFails, noWorkerAt] : {std::pair{true, -1}, std::pair{false, 2}}) {
    server.m_bStartFails = startFails;
    server.m_nNoWorkerAt = noWorkerAt;
    EXPECT_FALSE(server.Start(3)) << startFails;
    EXPECT_EQ(server.GetState(), CAsyncServer::Stopped) << startFails;
  }
  server.m_bStartFails = false;
  server.m_nNoWorkerAt = -1;
  auto jobs = MakeJobs(1);
  ASSERT_TRUE(server.Start(2));
  server.Submit(jobs[0].get());
  server.Finish();
  // The one run that started is the one reported, start and end.
  EXPECT_EQ(m_observer.WaitFor(2), (std::vector<int>{0, 2}));
  server.Shutdown();
  EXPECT_EQ(m_observer.WaitFor(0), (std::vector<int>{0, 2}));
  std::lock_guard lock(m_tally.m_mutex);
  EXPECT_EQ(jobs[0]->m_log, "QSC0");
}

TEST_F(AsyncServer, finishing_run_stays_up_for_jobs_submitted_from_completions) {
  TestServer server;
  auto jobs = MakeJobs(3);
  jobs[0]->m_then = [&] { server.Submit(jobs[1].get()); };
  jobs[1]->m_then = [&] { server.Submit(jobs[2].get()); };
  ASSERT_TRUE(server.Start(2));
  server.Submit(jobs[0].get());
  server.Finish();
  EXPECT_EQ(m_observer.WaitFor(2), (std::vector<int>{0, 2}));
  std::lock_guard lock(m_tally.m_mutex);
  for (auto& job : jobs) EXPECT_EQ(job->m_log, "QSC0");
}

TEST_F(AsyncServer, stop_cuts_off_running_jobs_drops_queued_ones_and_rejects_late_ones) {
  struct Case {
    int aborted;
    int finalReport;
  };
  for (const Case& c : {Case{0, 2}, Case{1, 3}}) {
    SCOPED_TRACE(c.aborted);
    ProgressObserver observer;
    CSafClient::GetSafClient()->Connect(&observer);
    CEvent gate;
    TestServer server;
    server.m_pGate = &gate;
    auto jobs = MakeJobs(6);
    ASSERT_TRUE(server.Start(2));
    for (int i = 0; i < 5; ++i) server.Submit(jobs[i].get());
    ASSERT_TRUE(WaitForLogs({jobs[0].get(), jobs[1].get()}, 3));  // the first two run
    server.Finish();
    server.Stop(c.aborted);
    server.Submit(jobs[5].get());
    // The cut-off jobs hear of it while their workers are still inside them.
    ASSERT_TRUE(WaitForLogs({jobs[0].get(), jobs[1].get()}, 4));
    bool restarted = false;
    std::thread next([&] { restarted = server.Start(1); });  // waits for the stop to end
    gate.SetEvent();
    next.join();
    EXPECT_TRUE(restarted);
    server.Finish();
    EXPECT_EQ(observer.WaitFor(5), (std::vector<int>{0, 1, c.finalReport, 0, 2}));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(jobs[i]->m_log, "QSRC4099") << i;
    for (int i = 2; i < 5; ++i) EXPECT_EQ(jobs[i]->m_log, "QC4098") << i;
    EXPECT_EQ(jobs[5]->m_log, "QC4097");
    CSafClient::GetSafClient()->Connect(&m_observer);
  }
}

TEST_F(AsyncServer, idle_worker_sleeps_and_stop_without_finish_or_on_a_stopped_server_changes_nothing) {
  CEvent gate;
  TestServer server;
  auto jobs = MakeJobs(2);
  server.Submit(jobs[0].get());  // stopped: ignored
  server.m_pGate = &gate;
  ASSERT_TRUE(server.Start(1));
  ASSERT_TRUE(server.m_tally.WaitUntil([&] { return server.m_nIdleCalls > 0; }));
  server.Submit(jobs[1].get());
  server.Stop(1);  // running: only the failure flag is kept
  EXPECT_EQ(server.GetState(), CAsyncServer::Running);
  server.Finish();
  gate.SetEvent();
  EXPECT_EQ(m_observer.WaitFor(2), (std::vector<int>{0, 3}));
  std::lock_guard lock(m_tally.m_mutex);
  EXPECT_EQ(jobs[0]->m_log, "");
  EXPECT_EQ(jobs[1]->m_log, "QSRRC0");
  // An idle worker slept until the job came instead of asking again.
  std::lock_guard idle(server.m_tally.m_mutex);
  EXPECT_LE(server.m_nIdleCalls, 2);
}

TEST_F(AsyncServer, every_accepted_job_completes_exactly_once_under_many_threads) {
  constexpr int kSubmitters = 4;
  constexpr int kPerSubmitter = 60;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ProgressObserver observer;
    CSafClient::GetSafClient()->Connect(&observer);
    CEvent open(true, true);  // jobs call their client twice, a stop may cut in between
    TestServer server;
    server.m_pGate = &open;
    // Each job's completion submits its follower, from whatever thread
    // completes it.
    auto jobs = MakeJobs(2 * kSubmitters * kPerSubmitter);
    for (std::size_t i = 0; i + 1 < jobs.size(); i += 2) {
      jobs[i]->m_then = [&server, follower = jobs[i + 1].get()] { server.Submit(follower); };
    }
    ASSERT_TRUE(server.Start(4));
    int submitted = 0;  // under the tally's lock
    std::vector<std::thread> submitters;
    for (int s = 0; s < kSubmitters; ++s) {
      submitters.emplace_back([&, s] {
        for (int i = 0; i < kPerSubmitter; ++i) {
          server.Submit(jobs[static_cast<std::size_t>(2 * (s * kPerSubmitter + i))].get());
          m_tally.Add([&] { ++submitted; });
        }
      });
    }
    // Finish and stop in the middle of the traffic.
    m_tally.WaitUntil([&] { return submitted >= kSubmitters * kPerSubmitter / 2; });
    server.Finish();
    server.Stop(round % 2);
    for (auto& submitter : submitters) submitter.join();
    server.Shutdown();
    // Started, perhaps stopping (the run may have ended by itself just
    // before the stop), ended.
    const std::vector<int> reports = observer.WaitFor(0);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_LE(reports.size(), 3u);
    EXPECT_EQ(reports.front(), 0);
    EXPECT_GE(reports.back(), 2);
    std::lock_guard lock(m_tally.m_mutex);
    // Queued, perhaps started and run, then one completion and nothing after;
    // or nothing at all for a job that found the server stopped.
    const std::regex once("(QS?R*C(0|4097|4098|4099))?");
    for (auto& job : jobs) EXPECT_TRUE(std::regex_match(job->m_log, once)) << job->m_log;
    CSafClient::GetSafClient()->Connect(&m_observer);
  }
}

}  // namespace

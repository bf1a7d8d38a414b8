// hvscan: the scheduler program. It wakes every 30 seconds, runs the agent
// items whose schedules are due, one at a time and with nobody present, and
// stops when unattended runs are turned off.
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/settings.h"
#include "harvion/ras_dial_dialog.h"
#include "headless_dial.h"
#include "headless_ui_client.h"
#include "instance_lock.h"
#include "nearest_word.h"
#include "scanner.h"

namespace {

constexpr auto kWakeInterval = std::chrono::seconds(30);
// A modem dial and log-on take well under this.
constexpr auto kDialAllowed = std::chrono::seconds(90);

constexpr std::string_view kUsage =
    "Usage: hvscan [--once | --status]\n"
    "Runs the agent items that have schedules of their own when they are due, one at a time, and\n"
    "writes a line for each run to hvscan.log in the Harvion folder. Only one hvscan runs per user:\n"
    "a second one exits at once. Without options it checks every 30 seconds and ends when unattended\n"
    "runs are turned off (harvion schedule off).\n"
    "  --once    run what is due now, then exit (for cron or a systemd timer); the exit status\n"
    "            is 1 when something due could not be run (see the log)\n"
    "  --status  list the scheduled items with their last and next runs, then exit\n"
    "  --help    show this text\n"
    "  --version print the version\n";

// Ends the waits between looks, from the signal thread or at a stop.
class Wake {
 public:
  void Notify() {
    const std::lock_guard lock(m_mutex);
    m_woken = true;
    m_changed.notify_all();
  }
  void WaitFor(std::chrono::seconds interval) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, interval, [this] { return m_woken; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_woken = false;
};

// SIGTERM, SIGINT and SIGHUP stop the scheduler: the run going on is
// stopped, its agent saved. They are taken by a thread of ours with
// sigwait, so the stop runs as ordinary code. SIGUSR1 ends that thread.
class StopSignals {
 public:
  static sigset_t Set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&set, signal);
    return set;
  }
  // Before any thread starts, so that every thread inherits the mask.
  static void Block() {
    const sigset_t set = Set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
  }

  StopSignals(hvscan::RunGate& gate, Wake& wake) {
    m_thread = std::thread([&gate, &wake] {
      const sigset_t set = Set();
      int signal = 0;
      while (sigwait(&set, &signal) == 0 && signal != SIGUSR1) {
        gate.Stop();
        wake.Notify();
      }
    });
  }
  ~StopSignals() {
    pthread_kill(m_thread.native_handle(), SIGUSR1);
    m_thread.join();
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  std::thread m_thread;
};

int Serve(bool once) {
  const std::string home = GetHomeDirectory();
  if (home.empty()) {
    std::cerr << "hvscan: " << GetHomeProblem() << '\n';
    return 1;
  }
  // Another instance does the work: nothing to do, and nothing went wrong.
  const hvscan::InstanceLock instance(home + "/hvscan.lock");
  if (!instance.Held()) return 0;

  hvscan::ScanLog log(home + "/hvscan.log");
  if (isatty(STDERR_FILENO)) log.EchoTo(&std::cerr);
  // Nobody reads a message box here: the engine's messages go to the log.
  const MessageSink previous = SetMessageSink(
      [&log](const std::string& text, const std::string&, HWND) { log.Write("message: " + text); });
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) EnsureProgramFolder(self.parent_path().c_str());

  harvion::HeadlessUIClient client;
  CSafClient::GetSafClient()->Connect(&client);
  hvscan::RunGate gate;
  Wake wake;
  bool enabled = true;
  bool homeGone = false;
  int failures = 0;
  {
    const StopSignals signals(gate, wake);
    hvscan::Scanner scanner(client, log, gate);
    if (!once) log.Write("started");
    for (;;) {
      // The user's folder went away (a test's, say): nothing is left to run,
      // and looking would make it anew.
      if (!std::filesystem::is_directory(home, error)) {
        homeGone = true;
        break;
      }
      enabled = scanner.ScanOnce();
      failures = scanner.Failures();
      if (once || !enabled || gate.Stopped()) break;
      wake.WaitFor(kWakeInterval);
      if (gate.Stopped()) break;
    }
  }
  if (!once && !homeGone) log.Write(enabled ? "stopped" : "stopped: unattended runs are off");
  CSafClient::DeleteAgent();
  CSafClient::GetSafClient()->Connect(nullptr);
  SetMessageSink(previous);
  // A look that could not run what was due says so, for cron and systemd.
  return once && failures > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  StopSignals::Block();
  const std::string_view option = argc > 1 ? argv[1] : "";
  const std::vector<std::string_view> options = {"--once", "--status", "--help", "--version"};
  if (argc > 2 || (argc == 2 && std::find(options.begin(), options.end(), option) == options.end())) {
    const std::string_view wrong = argc > 2 ? argv[2] : argv[1];
    std::cerr << "hvscan: unknown option " << wrong << harvion::DidYouMean(wrong, options) << "\n" << kUsage;
    return 2;
  }
  if (option == "--help") {
    std::cout << kUsage;
    return 0;
  }
  if (option == "--version") {
    std::cout << "hvscan " HARVION_VERSION "\n";
    return 0;
  }
  if (option == "--status") {
    // The agents are opened only to name the items: what they would say
    // about themselves is not the status.
    const MessageSink previous = SetMessageSink([](const std::string&, const std::string&, HWND) {});
    harvion::HeadlessUIClient client;
    CSafClient::GetSafClient()->Connect(&client);
    hvscan::PrintStatus(std::cout, client);
    CSafClient::DeleteAgent();
    CSafClient::GetSafClient()->Connect(nullptr);
    SetMessageSink(previous);
    return std::cout.flush() ? 0 : 1;
  }
  // Nobody watches a scheduled dial: it runs without a window, and one that
  // has not ended within the time allowed is hung up.
  SetRasDialDialogRunner([](CRasDialDialog& dial) { return harvion::DialWithoutWindow(dial, kDialAllowed); });
  return Serve(option == "--once");
}

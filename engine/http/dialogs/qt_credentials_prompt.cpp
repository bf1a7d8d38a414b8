#include "engine/http/dialogs/qt_credentials_prompt.h"

#include <QApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/http/dialogs/credentials_dialog.h"

namespace hvdlg {

namespace {

// The answer travelling back from the Qt thread to the asking one.
class Reply {
 public:
  void Give(std::optional<CredentialsRequest> answer) {
    std::lock_guard lock(m_mutex);
    if (m_given) return;
    m_given = true;
    m_answer = std::move(answer);
    m_changed.notify_all();
  }
  // Until the answer came, or the question was withdrawn (then nothing, even
  // if the Qt thread never gets to it).
  std::optional<CredentialsRequest> Wait(const std::shared_ptr<const std::atomic<bool>>& withdrawn) {
    std::unique_lock lock(m_mutex);
    while (!m_changed.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_given; })) {
      if (withdrawn && *withdrawn) return std::nullopt;
    }
    return m_answer;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_given = false;
  std::optional<CredentialsRequest> m_answer;
};

// Held by the call queued to the Qt thread: a call dropped without running
// (the application ended first) still answers, as Cancel.
class Answerer {
 public:
  explicit Answerer(std::shared_ptr<Reply> reply) : m_reply(std::move(reply)) {}
  ~Answerer() { m_reply->Give(std::nullopt); }
  Answerer(const Answerer&) = delete;
  Answerer& operator=(const Answerer&) = delete;
  void Give(std::optional<CredentialsRequest> answer) { m_reply->Give(std::move(answer)); }

 private:
  std::shared_ptr<Reply> m_reply;
};

bool AskOnQtThread(CredentialsRequest& request) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  std::optional<CredentialsRequest> answer;
  if (QThread::currentThread() == app->thread()) {
    answer = CCredentialsDialog::Ask(QApplication::activeWindow(), request);
  } else {
    auto reply = std::make_shared<Reply>();
    auto answerer = std::make_shared<Answerer>(reply);
    QMetaObject::invokeMethod(
        app, [answerer, request] { answerer->Give(CCredentialsDialog::Ask(QApplication::activeWindow(), request)); },
        Qt::QueuedConnection);
    answerer.reset();
    answer = reply->Wait(request.withdrawn);
  }
  if (!answer) return false;
  request = std::move(*answer);
  return true;
}

}  // namespace

void InstallCredentialsPrompt() { SetCredentialsPrompt(AskOnQtThread); }

}  // namespace hvdlg

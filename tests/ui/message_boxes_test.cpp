#include "shell/message_boxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

using Button = QMessageBox::StandardButton;

// Runs `work` on a worker thread while the Qt thread keeps handling events.
void OnWorker(const std::function<void()>& work, std::atomic<bool>& returned) {
  QEventLoop loop;
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a deadlock fails instead of hanging here
  std::thread worker([&] {
    work();
    returned = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  ASSERT_TRUE(returned.load()) << "the worker never came back";
  worker.join();
}

TEST(MessageBoxes, the_hook_answers_what_the_program_and_the_engine_show) {
  const struct {
    std::function<Button()> show;
    bool onWorker;
    const char* caption;
    const char* text;
  } cases[] = {
      {[] { return hvui::ShowMessage(nullptr, hvui::PluginCaption(), "Go?", QMessageBox::Yes | QMessageBox::No); },
       false, "Harvion/3.01 Plugin", "Go?"},
      {[] { return DisplayError("Disk full", nullptr), Button::No; }, false, "Harvon Plugin", "Disk full"},
      {[] { return DisplayError("Caf\xe9", nullptr), Button::No; }, false, "Harvon Plugin", "Caf\xc3\xa9"},
      {[] { return DisplayError("Caf\xc3\xa9", nullptr), Button::No; }, true, "Harvon Plugin", "Caf\xc3\xa9"},
  };
  const MessageSink previousSink = hvui::InstallMessageBoxSink();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string caption, text;
    bool onQtThread = false;
    std::atomic<bool> answered{false}, workerReturned{false};
    bool workerBackFirst = false;
    hvui::SetMessageBoxAnswerer([&](const QString& shownCaption, const QString& shownText) {
      // A worker that waited for this answer would never come back.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (c.onWorker && !workerReturned && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      workerBackFirst = workerReturned;
      caption = shownCaption.toStdString(), text = shownText.toStdString();
      onQtThread = QThread::currentThread() == qApp->thread();
      answered = true;
      return Button::No;
    });
    if (c.onWorker) {
      // The worker is back at once (it may hold the engine's lock); the box
      // follows on the Qt thread.
      OnWorker([&] { c.show(); }, workerReturned);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!answered && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      EXPECT_TRUE(answered.load());
      EXPECT_TRUE(workerBackFirst) << "the worker did not wait for the box";
    } else {
      EXPECT_EQ(c.show(), Button::No);
    }
    EXPECT_EQ(caption, c.caption);
    EXPECT_EQ(text, c.text);
    EXPECT_TRUE(onQtThread);
  }
  SetMessageSink(previousSink);
  hvui::SetMessageBoxAnswerer({});
}

}  // namespace

// "Authentication required" asked from an engine thread: shown on the Qt
// thread with the question as plain text, answered, cancelled, or closed
// when the engine withdraws the question.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <future>

#include "engine/http/dialogs/qt_credentials_prompt.h"
#include "engine/settings/dialogs/dialog_ids.h"
#include "harvion/dialogs.h"
#include "support/dialog_driver.h"

namespace {

using dlgtest::Control;
using namespace hvdlg;

// Runs act on the next modal dialog, from inside its own event loop, and
// processes events until the answer is ready. No dialog within ten seconds
// fails, and withdraws the question so that nothing waits for ever.
template <class T>
T AnswerNextModal(std::future<T>& answer, std::atomic<bool>& withdrawn, const std::function<void(QDialog*)>& act) {
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      timer.stop();
      act(dialog);
    }
  });
  timer.start(5);
  QElapsedTimer clock;
  clock.start();
  while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (timer.isActive() && clock.elapsed() > 10000) {
      ADD_FAILURE() << "no dialog";
      timer.stop();
      withdrawn.store(true);
    }
  }
  return answer.get();
}

TEST(CredentialsDialog, an_engine_thread_is_answered_on_the_qt_thread_and_a_withdrawn_question_closes) {
  const CredentialsPrompt before = SetCredentialsPrompt(nullptr);
  InstallCredentialsPrompt();
  const CredentialsPrompt prompt = SetCredentialsPrompt(before);
  ASSERT_TRUE(prompt);
  const struct {
    const char* name;
    int button;  // 0: the engine withdraws the question
    bool confirmed;
  } cases[] = {{"OK", kIdOk, true}, {"Cancel", kIdCancel, false}, {"withdrawn", 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto withdrawn = std::make_shared<std::atomic<bool>>(false);
    CredentialsRequest request{"<b>Members</b> \xE9", "http://club.example/in.html", "ann", "old", true,
                               nullptr, withdrawn};
    auto answer = std::async(std::launch::async, [&prompt, request]() mutable {
      return std::make_pair(prompt(request), request);
    });
    const auto [confirmed, result] = AnswerNextModal(answer, *withdrawn, [&](QDialog* dialog) {
      // What a server sent is shown as it is, never as markup.
      EXPECT_EQ(dialog->windowTitle(), "Authentication required");
      EXPECT_EQ(Control<QLabel>(dialog, kIdPromptRealm)->text(), QString::fromLatin1("<b>Members</b> \xE9"));
      EXPECT_EQ(Control<QLabel>(dialog, kIdPromptRealm)->textFormat(), Qt::PlainText);
      EXPECT_TRUE(Control<QLineEdit>(dialog, kIdPromptUrl)->isReadOnly());
      auto* password = Control<QLineEdit>(dialog, kIdPromptPassword);
      EXPECT_EQ(password->echoMode(), QLineEdit::Password);
      EXPECT_EQ(password->text(), "old");
      password->setText("typed");
      Control<QCheckBox>(dialog, kIdPromptRemember)->setChecked(false);
      if (c.button)
        Control<QPushButton>(dialog, c.button)->click();
      else
        withdrawn->store(true);
    });
    EXPECT_EQ(confirmed, c.confirmed);
    EXPECT_EQ(result.user + ":" + result.password, c.confirmed ? "ann:typed" : "ann:old");
    EXPECT_EQ(result.remember, !c.confirmed);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

}  // namespace

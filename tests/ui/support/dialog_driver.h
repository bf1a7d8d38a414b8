// Drives the engine's modal dialogs from a test: finds controls by their
// control ids, answers the next modal dialog, and records the engine's
// messages instead of showing them.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "harvion/exports.h"

namespace dlgtest {

template <class T = QWidget>
T* Control(const QWidget* in, int id) {
  return in->findChild<T*>(QStringLiteral("id_%1").arg(id));
}

// The engine's messages while it lives.
class MessageLog {
 public:
  MessageLog() : m_previous(SetMessageSink([this](const std::string& text, const std::string&, HWND) {
                   m_texts.push_back(text);
                 })) {}
  ~MessageLog() { SetMessageSink(m_previous); }
  std::vector<std::string> Take() { return std::exchange(m_texts, {}); }

 private:
  MessageSink m_previous;
  std::vector<std::string> m_texts;
};

// Calls `act` with the next modal dialog `open` shows, from inside its event
// loop; `open` returns when the dialog has closed. A dialog that never
// appears fails the test instead of hanging it.
inline bool WithNextModal(const std::function<void()>& open, const std::function<void(QDialog*)>& act) {
  QWidget* before = QApplication::activeModalWidget();
  bool seen = false;
  QTimer timer;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (clock.elapsed() > 10000) {
      timer.stop();
      if (dialog && dialog != before) dialog->reject();
      return;
    }
    if (!dialog || dialog == before) return;
    timer.stop();
    seen = true;
    act(dialog);
  });
  timer.start(5);
  open();
  return seen;
}

// Types the fields (control id -> text) and presses OK. True when the
// dialog closed; one that stays open (the entry was refused) is cancelled.
inline bool FillAndOk(QDialog* dialog, const std::map<int, QString>& fields) {
  for (const auto& [id, text] : fields) {
    if (auto* line = Control<QLineEdit>(dialog, id))
      line->setText(text);
    else if (auto* box = Control<QPlainTextEdit>(dialog, id))
      box->setPlainText(text);
  }
  Control<QPushButton>(dialog, 1)->click();
  if (!dialog->isVisible()) return true;
  dialog->reject();
  return false;
}

}  // namespace dlgtest

// A main frame with a browser that only records what it was asked to show,
// and message boxes answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/agent_frame.h"
#include "shell/agent_tree_view.h"
#include "shell/browser_host.h"
#include "shell/main_frame.h"
#include "shell/message_boxes.h"

namespace hvuitest {

class RecordingHost : public hvui::CBrowserHost {
 public:
  hvui::BrowserKind Kind() const override { return hvui::BrowserKind::Desktop; }
  QString CurrentLocation() const override { return location; }
  QString CurrentPageTitle() const override { return title; }
  bool Navigate(const QString& address) override {
    shown << address;
    location = address;
    return true;
  }
  QString StatusBarLocation() const override { return statusBar; }
  std::vector<std::string> AgentListEntries() const override { return agents; }

  QString location, title, statusBar;
  QStringList shown;
  std::vector<std::string> agents;
};

// Runs the event loop until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Lets the queued calls of the nodes reach the tree.
inline void Drain() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto host = std::make_unique<RecordingHost>();
    m_host = host.get();
    hvui::SetMessageBoxAnswerer([this](const QString& caption, const QString& text) {
      m_messages << caption + ": " + text;
      return m_answer;
    });
    m_main = std::make_unique<hvui::CMainFrame>(std::move(host));
    m_frame = m_main->AgentFrame();
  }
  void TearDown() override {
    m_main.reset();
    hvui::SetMessageBoxAnswerer({});
  }

  hvui::CAgentTreeView& Tree() const { return *m_frame->Tree(); }
  QTreeWidgetItem* Root() const { return Tree().Root(); }
  // A new agent named so, open in the frame, with nothing in it.
  void NewAgent(const QString& name);
  // Edits the item's label as the user does: the editor, the text, Enter.
  void TypeLabel(QTreeWidgetItem* item, const QString& text);
  QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text) const {
    for (int i = 0; parent && i < parent->childCount(); ++i)
      if (parent->child(i)->text(0) == text) return parent->child(i);
    return nullptr;
  }

  std::unique_ptr<hvui::CMainFrame> m_main;
  hvui::CAgentFrame* m_frame = nullptr;
  RecordingHost* m_host = nullptr;
  QStringList m_messages;
  QMessageBox::StandardButton m_answer = QMessageBox::Ok;
};

inline void FrameTest::NewAgent(const QString& name) {
  m_frame->OnCommand(hvui::kCmdNewAgent);
  ASSERT_TRUE(WaitFor([&] { return Root() != nullptr; }));
  Drain();  // the label edit the command starts
  Tree().EndEditing();
  TypeLabel(Root(), name);
  ASSERT_EQ(m_frame->AgentName(), name) << m_messages.join("\n").toStdString();
}

inline void FrameTest::TypeLabel(QTreeWidgetItem* item, const QString& text) {
  Tree().EditLabel(item);
  auto* editor = qobject_cast<QLineEdit*>(Tree().indexWidget(Tree().currentIndex()));
  ASSERT_NE(editor, nullptr);
  editor->setText(text);
  QTest::keyClick(editor, Qt::Key_Return);
  Drain();
}

}  // namespace hvuitest

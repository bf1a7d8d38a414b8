// The agent frame's progress bar: "done/total" centred, blue up to the done
// fraction and white after it.
#pragma once

#include <QString>
#include <QWidget>

namespace hvui {

class CProgressDisplay : public QWidget {
  Q_OBJECT

 public:
  explicit CProgressDisplay(QWidget* parent = nullptr);

  // Both only on the Qt thread: node notifications reach it through queued calls.
  void Reset();
  void Add(int done, int total);

  int Done() const { return m_nDone; }
  int Total() const { return m_nTotal; }
  // "%d/%d" as painted; empty while there is no total (the bar is plain white then).
  QString Text() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_nDone = 0;
  int m_nTotal = 0;
};

}  // namespace hvui

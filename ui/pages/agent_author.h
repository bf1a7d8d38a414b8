// The agent's "Author" tab: who made the agent, for which organization, and
// comments; texts that travel with the agent file.
#pragma once

#include "pages/property_page.h"

class QLineEdit;
class QPlainTextEdit;

namespace hvui {

class CAgentAuthor : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CAgentAuthor(CPageHost& host, QWidget* parent = nullptr);

 protected:
  void Fill() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Writes the three texts when one was changed since the last write.
  void SaveIfChanged();
  bool Changed() const;
  void MarkSaved();

  QLineEdit* m_author;
  QLineEdit* m_organization;
  QPlainTextEdit* m_comments;
};

}  // namespace hvui

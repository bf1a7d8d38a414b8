// The agent's "Agent" tab: its cache folder, the cache's size, the size
// limit of its runs and the Clear Cache button.
#pragma once

#include <cstdint>

#include "pages/property_page.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace hvui {

class CAgentGeneral : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CAgentGeneral(CPageHost& host, QWidget* parent = nullptr);

  // "7,737KB for 937 files (7,923,328 bytes)".
  static QString SizeText(std::uint64_t bytes, std::uint64_t files);
  // 7923328 as "7,923,328".
  static QString Grouped(std::uint64_t number);

 protected:
  void Fill() override;

 private:
  void ShowSize();
  void SaveLimit();
  void ClearCache();

  QLabel* m_folder;
  QLabel* m_size;
  QLineEdit* m_limit;
  QPushButton* m_clear;
  // The counts of the agent's record, for when no run has reported any yet.
  std::uint64_t m_recordFiles = 0, m_recordBytes = 0;
};

}  // namespace hvui

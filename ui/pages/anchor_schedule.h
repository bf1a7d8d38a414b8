// The "Schedule" tab of every item: which named schedule updates it, none,
// or its parent's; when it was last updated and when it will be next.
#pragma once

#include "pages/property_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace hvui {

class CAnchorSchedule : public CPropertyPage {
  Q_OBJECT
 public:
  enum ControlId : int {
    kIdInherit = 1045,
    kIdUpdate = 1034,
    kIdEditSchedules = 1010,
    kIdLastUpdate = 1050,
    kIdNextUpdate = 1051,
  };

  CAnchorSchedule(CPageHost& host, QWidget* parent = nullptr);

 protected:
  void Fill() override;

 private:
  // The schedule chosen (0: none, n: the n-th named one) written to the item.
  void Apply(int index, bool inherit);
  void EditSchedules();
  // When the item, or the newest page below it, was last stored.
  QString LastUpdateText() const;

  QCheckBox* m_inherit;
  QComboBox* m_update;
  QPushButton* m_editSchedules;
  QLabel* m_lastUpdate;
  QLabel* m_nextUpdate;
  bool m_mayInherit = false;
};

}  // namespace hvui

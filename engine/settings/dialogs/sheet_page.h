// A page of the settings sheet. It reads its values when first shown, and
// stores only what the user changed, so a value another program changed
// meanwhile stays unless the user changed it here too.
#pragma once

#include <QWidget>

namespace hvdlg {

class CSheetPage : public QWidget {
 public:
  using QWidget::QWidget;
  // The page's title on its tab.
  virtual QString Title() const = 0;
  // Reads the values; called once, when the page is first shown.
  virtual void Activate() = 0;
  // Stores what changed since the values were read or last stored. False,
  // after telling the user, when a value was refused: the sheet stays open.
  virtual bool Store() = 0;
  bool IsActive() const { return m_active; }
  void MarkActive() { m_active = true; }

 private:
  bool m_active = false;
};

}  // namespace hvdlg

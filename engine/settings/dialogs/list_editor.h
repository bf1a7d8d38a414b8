// The list editor every list dialog embeds: the item names in list order and
// "Add...", "Copy...", "Modify...", "Remove". The dialog that owns the list
// runs the edit dialogs; the editor enables the buttons by the selected
// item's permissions and tells its owner of every change of selection.
#pragma once

#include <QGroupBox>
#include <functional>

class QListWidget;
class QPushButton;

namespace hvdlg {

class CListEditor : public QGroupBox {
  Q_OBJECT
 public:
  enum class Mode { add, copy, modify };
  // Permission bits of an item.
  static constexpr int kMayRemove = 1, kMayModify = 2, kMayCopy = 4, kMayAll = 7;

  // What the owning dialog gives: the list as it is now, and the edits.
  struct Owner {
    std::function<QStringList()> names;
    std::function<int(int index)> permissions;
    // Runs the edit dialog; true on OK (add and copy then appended an item).
    std::function<bool(Mode mode, int index)> edit;
    std::function<void(int index)> remove;
  };

  CListEditor(const QString& title, bool canAdd, Owner owner, QWidget* parent = nullptr);

  // Selects the item (-1: none) and tells the owner.
  void Select(int index);
  int Selected() const;
  QListWidget* List() const { return m_list; }

 signals:
  // After every change of selection and every edit: the selected index, -1
  // for none.
  void selectionChanged(int index);

 private:
  void Refill(int select);
  void UpdateButtons();
  void Run(Mode mode);
  void RemoveSelected();

  Owner m_owner;
  bool m_canAdd;
  QListWidget* m_list;
  QPushButton *m_add, *m_copy, *m_modify, *m_remove;
};

}  // namespace hvdlg

// The "Retrieval" tab of every item: which file types are retrieved, how
// many levels of links are followed and where links may lead, or that all
// three are the parent's; whether the files a stored page needs may come
// from any server. Two pictures show the choice.
#pragma once

#include <QLabel>
#include <vector>

#include "pages/link_levels.h"
#include "pages/load_fields.h"
#include "pages/property_page.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace hvui {

class CAnchorRetrieval : public CPropertyPage {
  Q_OBJECT
 public:
  enum ControlId : int {
    kIdInherit = 1045,
    kIdRetrieve = 1022,
    kIdEditFileTypes = 1049,
    kIdFollow = 1020,
    kIdEditLevels = 1011,
    kIdConfine = 1021,
    kIdEditLocations = 1012,
    kIdConfinePicture = 1004,
    kIdFileTypePicture = 1005,
    kIdAnyServer = 1058,
  };

  CAnchorRetrieval(CPageHost& host, QWidget* parent = nullptr);

  // The pictures shown now, by their place in their strips; -1 for none.
  int ConfinePicture() const { return m_confinePicture; }
  int FileTypePicture() const { return m_fileTypePicture; }

 protected:
  void Fill() override;

 private:
  void FillLists();
  void ShowPictures(int linkType, int loadDetail);
  // The controls' choices, written to the item.
  void Save();
  void Apply(const LoadFields& fields);
  void SaveAnyServer(bool anyServer);
  // A "..." of the strategy lists: the list's dialog, then the list anew.
  void EditStrategies(bool locations);
  void EditLevels();

  QCheckBox* m_inherit;
  QComboBox* m_retrieve;
  QPushButton* m_editFileTypes;
  QComboBox* m_follow;
  QPushButton* m_editLevels;
  QComboBox* m_confine;
  QPushButton* m_editLocations;
  QCheckBox* m_anyServer;
  QLabel* m_confineImage;
  QLabel* m_fileTypeImage;
  std::vector<LevelChoice> m_levelChoices;
  int m_confinePicture = -1;
  int m_fileTypePicture = -1;
  bool m_mayInherit = false;  // below another item, and the user's own
};

}  // namespace hvui

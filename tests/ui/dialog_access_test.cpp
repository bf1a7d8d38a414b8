// Every control of the engine's dialogs can be found and reached: a control
// id as its object name, an accessible name, and no two mnemonics of one
// page alike. With HARVION_DIALOG_SHOTS set to a folder, each dialog is also
// saved there as a picture with sample data.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <memory>
#include <set>

#include "engine/dialup/dialogs/dial_dialog.h"
#include "engine/schedule/dialogs/schedule_editor.h"
#include "engine/schedule/dialogs/schedules_dialog.h"
#include "engine/http/dialogs/credentials_dialog.h"
#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/list_editor.h"
#include "engine/settings/dialogs/password_dialog.h"
#include "engine/settings/dialogs/program_sheet.h"
#include "engine/settings/dialogs/search_engine_dialog.h"
#include "engine/settings/dialogs/sheet_page.h"
#include "engine/settings/dialogs/strategy_edit_dialog.h"
#include "engine/settings/dialogs/strategy_list_dialog.h"
#include "pages/link_levels_dialog.h"
#include "support/access_checks.h"

namespace {

using namespace hvdlg;
using hvuitest::CheckPage;
using hvuitest::CheckTabOrder;

void Shoot(QWidget* dialog, const char* name) {
  const QByteArray folder = qgetenv("HARVION_DIALOG_SHOTS");
  if (folder.isEmpty()) return;
  dialog->show();
  dialog->adjustSize();
  EXPECT_TRUE(dialog->grab().save(QString::fromLocal8Bit(folder) + "/" + name, "PNG")) << name;
  dialog->hide();
}

StrategyList SampleFileTypes() {
  StrategyList list;
  const char* names[] = {"Site map", "Text only", "Text and graphics", "All files"};
  for (int i = 0; i < 4; ++i) list.entries.push_back({names[i], i, "", 6});
  list.entries.push_back({"Pictures without movies", 2, ".mov\r\n.avi\r\n.mpg", 0xFFFF});
  list.selected = 4;
  return list;
}

TEST(DialogAccess, every_control_is_named_and_reachable_and_no_page_repeats_a_mnemonic) {
  CProgramSheet sheet;
  const char* shots[] = {"dialog-connection.png", "dialog-passwords.png", "dialog-proxy.png", "dialog-search.png"};
  for (int i = 0; i < sheet.Tabs()->count(); ++i) {
    sheet.Tabs()->setCurrentIndex(i);
    SCOPED_TRACE(sheet.Tabs()->tabText(i).toStdString());
    CheckPage(&sheet, sheet.Page(i));
    CheckTabOrder(&sheet);
    if (auto* editor = sheet.Page(i)->findChild<CListEditor*>()) editor->Select(0);
    Shoot(&sheet, shots[i]);
  }

  std::vector<StrategyEntry> entries = SampleFileTypes().entries;
  std::vector<SearchEngineItem> engines = {{"Lycos", "http://lycos.search.example/cgi-bin/pursuit", "query=%KEY"}};
  std::vector<PasswordItem> passwords = {{"Members", "http://club.example:80", "ann", "secret"}};
  const CScheduleList::Book schedules{CScheduleList::Read().schedules, true};
  std::vector<CScheduleList::Schedule> editedSchedules = schedules.schedules;
  CRasDialDialog dial("Office");
  const struct {
    const char* name;
    std::function<std::unique_ptr<QDialog>()> make;
  } dialogs[] = {
      {"dialog-file-types.png", [] { return std::make_unique<CStrategyListDialog>(false, SampleFileTypes()); }},
      {"dialog-modify-file-types.png",
       [&] { return std::make_unique<CStrategyEditDialog>(false, CStrategyEditDialog::Mode::modify, entries, 4); }},
      {"dialog-add-location.png",
       [&] {
         static std::vector<StrategyEntry> locations = {{"Links within site", 1, "/private\r\n/cgi-bin", 6}};
         return std::make_unique<CStrategyEditDialog>(true, CStrategyEditDialog::Mode::copy, locations, 0);
       }},
      {"dialog-search-engine.png",
       [&] { return std::make_unique<CSearchEngineDialog>(CListEditor::Mode::modify, engines, 0); }},
      {"dialog-password.png", [&] { return std::make_unique<CPasswordDialog>(CListEditor::Mode::add, passwords, 0); }},
      {"dialog-link-levels.png", [] { return std::make_unique<hvui::CLinkLevelsDialog>(8); }},
      {"dialog-schedules.png", [&] { return std::make_unique<CSchedulesDialog>(schedules, 1); }},
      {"dialog-schedule-editor.png",
       [&] { return std::make_unique<CScheduleEditor>(CListEditor::Mode::modify, editedSchedules, 1); }},
      {"dialog-dial.png",
       [&] {
         auto dialog = std::make_unique<CDialDialog>(dial);
         dialog->findChild<QLabel*>(QStringLiteral("id_%1").arg(kIdDialLower))->setText("Connecting Device");
         return dialog;
       }},
      {"dialog-authentication.png",
       [] {
         CredentialsRequest request;
         request.realm = "Members of the club";
         request.url = "http://club.example/members/index.html";
         request.user = "ann";
         return std::make_unique<CCredentialsDialog>(request);
       }},
  };
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.name);
    const std::unique_ptr<QDialog> dialog = d.make();
    CheckPage(dialog.get(), dialog.get());
    CheckTabOrder(dialog.get());
    Shoot(dialog.get(), d.name);
  }
}

}  // namespace

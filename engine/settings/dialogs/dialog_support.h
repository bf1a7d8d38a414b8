// What every engine dialog shares: texts from the engine's string table,
// control naming for tests and screen readers, labelled rows with their
// mnemonics, and the engine's message for a refused entry.
#pragma once

#include <QString>

#include <string>

class QDialog;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QWidget;

namespace hvdlg {

// Texts of the engine's string table by number.
enum TextId : unsigned {
  kTextSheetCaption = 503,
  kTextModifySchedule = 535,
  kTextAddSchedule = 536,
  kTextSearchEngines = 565,
  kTextModifySearchEngine = 568,
  kTextAddSearchEngine = 569,
  kTextModifyPassword = 570,
  kTextAddPassword = 571,
  kTextNoUser = 572,
  kTextRealmTaken = 574,
  kTextPasswords = 575,
  kTextNoRealm = 576,
  kTextNoEngineLocation = 577,
  kTextNoQuery = 578,
  kTextNoEngineTitle = 579,
  kTextEngineTaken = 580,
  kTextFileTypes = 581,
  kTextSchedules = 582,
  kTextLocations = 583,
  kTextNoStrategyName = 592,
  kTextStrategyTaken = 593,
  kTextFileTypeStrategyFirst = 594,
  kTextLocationStrategyFirst = 598,
  kTextModifyFileTypes = 602,
  kTextAddFileTypes = 603,
  kTextModifyLocations = 604,
  kTextAddLocation = 605,
  kTextFolderNotMade = 606,
  kTextChooseFolder = 607,
  kTextAgentsSubfolder = 608,
  kTextRasUndefined = 633,
  kTextInsideServerStrategy = 655,
  kTextKeepAlive = 930,
  kTextCaFile = 931,
};

// The engine's text as Qt shows it: UTF-8 when it is, else Latin-1.
QString Text(unsigned id);
QString FromEngine(const std::string& bytes);
std::string ToEngine(const QString& text);

// Object name "id_<id>" and the accessible name (the label without its '&').
void Tag(QWidget* control, int id, const QString& accessibleName);
// Adds "label  control" to the form with the label as the control's buddy,
// so the label's mnemonic reaches the control.
QLabel* AddRow(QFormLayout* form, const QString& label, QWidget* control, int id);
// OK and Cancel, tagged with their ids, accepting and rejecting the dialog.
QDialogButtonBox* OkCancel(QDialog* dialog);

// Refuses an entry: the engine's warning (beep, product caption), so the
// desktop program shows it above the dialog and tests can read it.
void Refuse(const QString& text);
void Refuse(unsigned textId);

}  // namespace hvdlg

// Hooks through which a front end shows the dialogs the engine needs while it
// works. With no hook installed a dialog answers as if the user pressed
// Cancel, so a process without anyone to ask (the scheduler, a headless run)
// never waits.
//
// Hooks are called on an engine thread, not on the thread that installed
// them, and block only that thread until they return; a front end with its
// own event loop marshals the question to it. An exception from a hook
// counts as Cancel.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harvion/types.h"

// "Authentication required": a server asked for credentials of a realm. The
// front end sounds a warning, shows the realm and address (they come from the
// network: as text, never as markup or terminal control sequences) and lets
// the user edit the user name and the masked password.
//
// The prompt is called on the engine's asking thread, one question at a
// time, with no engine lock held: the transfer that needs the answer has
// ended and its page waits, while every other transfer and the tree go on.
struct CredentialsRequest {
  std::string realm;     // as the server named it
  std::string url;       // the page being retrieved
  std::string user;      // the user name known so far; the answer on OK
  std::string password;  // likewise
  // On OK: true keeps the answer with the stored passwords, false for this
  // run only.
  bool remember = true;
  HWND owner = nullptr;  // the user interface's main window
  // Set once the engine no longer wants the answer (the run stopped): a
  // prompt still open may close itself as if cancelled.
  std::shared_ptr<const std::atomic<bool>> withdrawn;
};
// True when the user confirmed: user, password and remember then hold the
// answer.
using CredentialsPrompt = std::function<bool(CredentialsRequest& request)>;
// Installs the prompt (an empty function removes it); returns the one before.
HV_EXPORT CredentialsPrompt SetCredentialsPrompt(CredentialsPrompt prompt);

// One named retrieval strategy of the open agent, as the list dialogs edit it.
struct StrategyEntry {
  std::string name;
  int kind = 0;             // loadDetail (file types) or linkType (locations)
  std::string exclusions;   // one item a line, CR LF between lines
  int permissions = 0;      // bit 0 may be removed, bit 1 modified, bit 2 copied
};
struct StrategyList {
  std::vector<StrategyEntry> entries;
  int selected = -1;  // the entry chosen: given to the dialog, and its answer
};
// Shows a strategy list dialog; the edited list on OK, nothing on Cancel.
using StrategyDialog = std::function<std::optional<StrategyList>(const StrategyList& list)>;

// The engine's own modal dialogs: the settings sheet and the file-type,
// location and schedule lists. The module that draws them installs them;
// without it CSafClient::Settings does nothing and the list dialogs answer
// Cancel (-1), so a program without windows never waits. The engine hands
// the strategy lists over and takes the answer back: the dialogs run
// without any engine lock held.
struct EngineDialogs {
  std::function<void()> settings;
  StrategyDialog fileTypes;
  StrategyDialog constraints;
  // Takes the entry to select first and returns the one selected on OK, -1
  // on Cancel.
  std::function<int(int)> schedules;
};
// Installs the dialogs (empty members for none); returns the ones before.
HV_EXPORT EngineDialogs SetEngineDialogs(EngineDialogs dialogs);
// Whether a module draws the dialogs in this process.
HV_EXPORT bool HasEngineDialogs();

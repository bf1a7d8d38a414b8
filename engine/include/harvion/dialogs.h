// Hooks through which a front end shows the dialogs the engine needs while it
// works. With no hook installed a dialog answers as if the user pressed
// Cancel, so a process without anyone to ask (the scheduler, a headless run)
// never waits.
//
// Hooks are called on the engine's retrieval workers, not on the thread that
// installed them, and block only the calling worker until they return; a
// front end with its own event loop marshals the question to it. An
// exception from a hook counts as Cancel.
#pragma once

#include <functional>
#include <string>

#include "harvion/types.h"

// "Authentication required": a server asked for credentials of a realm. The
// front end sounds a warning, shows the realm and address (they come from the
// network: as text, never as markup or terminal control sequences) and lets
// the user edit the user name and the masked password.
struct CredentialsRequest {
  std::string realm;     // as the server named it
  std::string url;       // the page being retrieved
  std::string user;      // the user name known so far; the answer on OK
  std::string password;  // likewise
  HWND owner = nullptr;  // the user interface's main window
};
// True when the user confirmed: user and password then hold the answer.
using CredentialsPrompt = std::function<bool(CredentialsRequest& request)>;
// Installs the prompt (an empty function removes it); returns the one before.
HV_EXPORT CredentialsPrompt SetCredentialsPrompt(CredentialsPrompt prompt);

// The engine's own modal dialogs: the settings sheet and the file-type,
// location and schedule lists. The module that draws them installs them;
// without it CSafClient::Settings does nothing and the list dialogs answer
// Cancel (-1), so a program without windows never waits.
struct EngineDialogs {
  std::function<void()> settings;
  // Each takes the entry to select first and returns the one selected on
  // OK, -1 on Cancel.
  std::function<int(int)> fileTypes;
  std::function<int(int)> constraints;
  std::function<int(int)> schedules;
};
// Installs the dialogs (empty members for none); returns the ones before.
HV_EXPORT EngineDialogs SetEngineDialogs(EngineDialogs dialogs);
// Whether a module draws the dialogs in this process.
HV_EXPORT bool HasEngineDialogs();

// The engine's side of the credentials hook a front end installs.
#pragma once

#include "harvion/dialogs.h"

namespace hv::http {

// Whether a front end has installed a prompt: without one nobody is asked
// and a question is a Cancel at once.
bool HasCredentialsPrompt();
// Asks through the installed prompt; false (Cancel) when none is installed
// or the prompt fails.
bool AskForCredentials(CredentialsRequest& request);

}  // namespace hv::http

// The engine's side of the credentials hook a front end installs.
#pragma once

#include "harvion/dialogs.h"

namespace hv::http {

// Asks through the installed prompt; false (Cancel) when none is installed
// or the prompt fails.
bool AskForCredentials(CredentialsRequest& request);

}  // namespace hv::http

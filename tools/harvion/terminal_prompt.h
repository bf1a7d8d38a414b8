// Asks on the terminal for the user name and password a server wants, so an
// interactive harvion run can log in; without a terminal nobody is asked.
#pragma once

namespace harvion {

// Installs the terminal prompt when standard input is a terminal.
void InstallTerminalPrompt();
// Whether a question is on the terminal now: a progress line must not be
// drawn over the answer being typed.
bool TerminalPromptOpen();

}  // namespace harvion

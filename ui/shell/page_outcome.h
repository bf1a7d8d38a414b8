// Why a page's last load came out as it did, for the tree's tooltip and the
// page's details: the words harvion prints for the page after a run.
#pragma once

#include <QString>
#include <string>

namespace hvui {

// Of the page record at the address in the open agent's index: "200 OK",
// "404 Not Found", "host name not found"; empty for a page never asked for.
// Reads the index under its lock, so it may be called on an engine thread.
QString PageOutcome(const std::string& address);

}  // namespace hvui

// What the settings sheet edits beyond the single values of CEngineSettings:
// the search engines and the stored passwords, with the engine's texts and
// copy naming, for the module that draws the engine's dialogs.
#pragma once

#include <string>
#include <vector>

#include "harvion/types.h"

struct SearchEngineItem {
  std::string title;
  std::string location;
  std::string query;  // "%KEY" stands for the search text
  bool operator==(const SearchEngineItem&) const = default;
};

struct PasswordItem {
  std::string realm;
  std::string server;  // "http://host:port"; empty: sent nowhere until a prompt for the realm confirms it
  std::string user;
  std::string password;
  bool operator==(const PasswordItem&) const = default;
};

class HV_EXPORT CSettingsLists {
 public:
  // The search engines in the store's order; when it holds none, the ten
  // defaults are stored and returned.
  static std::vector<SearchEngineItem> SearchEngines();
  static std::vector<PasswordItem> Passwords();
  // Apply what the user changed between `shown` (the list as read) and
  // `edited` to the list as stored now, in one change of the store: an entry
  // another program added or changed meanwhile stays unless the user changed
  // or removed the same one. False when the store could not be written.
  static bool ChangeSearchEngines(const std::vector<SearchEngineItem>& shown,
                                  const std::vector<SearchEngineItem>& edited);
  static bool ChangePasswords(const std::vector<PasswordItem>& shown, const std::vector<PasswordItem>& edited);

  // "Copy of NAME", else "Copy(2) of NAME", "Copy(3) of NAME" ...: the first
  // that is not among the names (exact comparison).
  static std::string CopyName(const std::vector<std::string>& names, const std::string& name);
  // A text of the engine's string table; empty when there is none.
  static std::string Text(unsigned id);
  // Whether no retrieval runs: only then may the agents folder change.
  static bool IsRetrievalStopped();
};

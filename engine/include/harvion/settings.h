// Settings the front ends and the scheduler program read without opening an
// agent: the settings store's subkey enumeration and the connection values.
#pragma once

#include <cstdint>

#include "harvion/types.h"

// Roots of the settings store. Only the current user's root holds anything.
using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

// Receives each subkey of an enumerated key with its default value.
class HV_EXPORT CStringEnumerator {
 public:
  virtual ~CStringEnumerator();
  // Zero stops the enumeration.
  virtual int Enumerate(const char* name, const char* defaultValue) = 0;
};

// Calls the enumerator for every subkey of the key (a path below the root,
// parts joined by '\'), in creation order; names and values are cut to 259
// bytes.
HV_EXPORT void KeyEnumerate(HKEY root, const char* key, CStringEnumerator* enumerator);

// The connection settings, defaults first (4 threads, 30 seconds, no
// autodial, no connection). The name buffer must hold 260 bytes.
HV_EXPORT void LoadConnectionInfo(int* threads, int* timeout, int* autodial, char* connectionName);

#include <string>

// The user's Harvion folder ($HARVION_HOME, else $XDG_DATA_HOME/harvion,
// else ~/.local/share/harvion), made when missing: the settings, the
// cookies and the scheduler's log live there. Empty when it cannot be made:
// a front end then says GetHomeProblem() and ends.
HV_EXPORT std::string GetHomeDirectory();
// Why there is no Harvion folder, else empty.
HV_EXPORT std::string GetHomeProblem();

// Records the folder that holds the programs (the base key's default value)
// when none is recorded yet: the first start of any of our programs is the
// installation step. Returns 1 when a folder is recorded afterwards.
HV_EXPORT int EnsureProgramFolder(const char* folder);
#include <vector>

// The global settings as the front ends show and change them by name.
class HV_EXPORT CEngineSettings {
 public:
  struct Item {
    std::string name;     // "proxy-server", "threads", ...
    std::string value;    // what the engine uses
    bool stored = false;  // false: the default is in use
    bool changeable = false;
    std::string allowed;  // the values Change accepts, in words
  };
  static std::vector<Item> List();
  // Sets one setting in memory and in the store. Empty on success, otherwise
  // why the value was refused (nothing is then written).
  static std::string Change(const std::string& name, const std::string& value);
};

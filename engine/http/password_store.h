// The passwords kept between runs, one subkey of the Authentication key
// each: the user name as its default value, then "Password", and "Server",
// the scheme, host and port the realm belongs to, since a realm's name means
// nothing on another server. A subkey is named after its realm; when that
// name is taken (the same realm on another server) the "Realm" value holds
// the realm and the name is made unique.
//
// An entry written before servers were kept has no "Server": it is sent to
// no server until the user confirms it in the prompt for a server naming
// its realm, which binds it to that server.
#pragma once

#include <string>
#include <vector>

namespace hv::http {

struct StoredPassword {
  std::string realm;
  std::string server;  // "http://host:port"; empty for an entry of no server yet
  std::string user;
  std::string password;
  bool operator==(const StoredPassword&) const = default;
};
using PasswordList = std::vector<StoredPassword>;

// The list in the store's order; empty when the key is missing.
PasswordList LoadPasswords();
// Replaces the whole list in one change of the store. Entries with nothing
// to remember, or with names or servers holding control bytes (they would
// go raw into lines of the file), are not written. False when the store
// could not be written.
bool SavePasswords(const PasswordList& list);
// Applies the changes from `shown` (the list as read earlier) to `edited` to
// the list as stored now, in one change of the store, so that an entry
// another program or a run stored meanwhile stays unless this edit touched
// it. Entries are known by realm and server. False when the store could not
// be written.
bool ChangePasswords(const PasswordList& shown, const PasswordList& edited);

// The protection space's server of an address: "scheme://host:port" in lower
// case with the scheme's port filled in; empty for an address without host.
std::string ServerOf(const std::string& address);

}  // namespace hv::http

#include "engine/http/password_store.h"

#include <algorithm>
#include <set>

#include "engine/http/url.h"
#include "engine/settings/list_merge.h"
#include "engine/settings/settings_store.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"

namespace hv::http {

namespace {

bool HasControlBytes(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// A subkey name no other entry has (the store ignores case in names); a
// backslash would make it a path of nested keys.
std::string UniqueKeyName(const StoredPassword& entry, std::set<std::string>& taken) {
  std::string base = entry.realm;
  std::replace(base.begin(), base.end(), '\\', '/');
  if (taken.insert(AsciiLower(base)).second) return base;
  base += " (" + entry.server + ")";
  std::string name = base;
  for (int n = 2; !taken.insert(AsciiLower(name)).second; ++n) name = base + " #" + std::to_string(n);
  return name;
}

// Caller is inside a View or an Edit of the store; key is the list's key.
PasswordList ReadPasswords(const reg::Tree& tree, const std::string& key) {
  PasswordList list;
  const std::string password = settings::ValueName(res::IDS_REG_PASSWORD);
  const std::string server = settings::ValueName(res::IDS_REG_SERVER);
  const std::string realm = settings::ValueName(res::IDS_REG_REALM);
  for (const std::string& name : tree.SubKeys(key)) {
    const std::string itemKey = key + '\\' + name;
    StoredPassword entry;
    if (!tree.ReadString(itemKey, realm, entry.realm)) entry.realm = name;
    tree.ReadString(itemKey, server, entry.server);
    tree.ReadString(itemKey, std::string(), entry.user);
    tree.ReadString(itemKey, password, entry.password);
    list.push_back(std::move(entry));
  }
  return list;
}

void WritePasswords(reg::Tree& tree, const std::string& key, const PasswordList& list) {
  const std::string password = settings::ValueName(res::IDS_REG_PASSWORD);
  const std::string server = settings::ValueName(res::IDS_REG_SERVER);
  const std::string realm = settings::ValueName(res::IDS_REG_REALM);
  for (const std::string& sub : tree.SubKeys(key)) tree.DeleteKey(key + '\\' + sub);
  std::set<std::string> taken;
  for (const StoredPassword& entry : list) {
    if (entry.realm.empty() || (entry.user.empty() && entry.password.empty()) || HasControlBytes(entry.realm) ||
        HasControlBytes(entry.server))
      continue;
    const std::string name = UniqueKeyName(entry, taken);
    const std::string itemKey = key + '\\' + name;
    tree.WriteString(itemKey, std::string(), entry.user);
    tree.WriteString(itemKey, password, entry.password);
    if (!entry.server.empty()) tree.WriteString(itemKey, server, entry.server);
    if (name != entry.realm) tree.WriteString(itemKey, realm, entry.realm);
  }
}

}  // namespace

PasswordList LoadPasswords() {
  PasswordList list;
  std::string key;
  if (!settings::KeyPath(res::IDS_REG_AUTHENTICATION, key)) return list;
  reg::View([&](const reg::Tree& tree) { list = ReadPasswords(tree, key); });
  return list;
}

bool SavePasswords(const PasswordList& list) {
  std::string key;
  if (!settings::KeyPath(res::IDS_REG_AUTHENTICATION, key)) return false;
  return reg::Edit([&](reg::Tree& tree) { WritePasswords(tree, key, list); });
}

bool ChangePasswords(const PasswordList& shown, const PasswordList& edited) {
  std::string key;
  if (!settings::KeyPath(res::IDS_REG_AUTHENTICATION, key)) return false;
  const auto keyOf = [](const StoredPassword& entry) { return std::make_pair(entry.realm, entry.server); };
  return reg::Edit([&](reg::Tree& tree) {
    WritePasswords(tree, key, settings::MergeListEdits(ReadPasswords(tree, key), shown, edited, keyOf));
  });
}

std::string ServerOf(const std::string& address) {
  std::string copy = address;
  UrlParts parts{};
  SplitUrl(copy.data(), parts);
  if (!parts.scheme || !parts.host) return {};
  const std::string scheme = AsciiLower(parts.scheme);
  std::string host = AsciiLower(parts.host);
  host.erase(std::min(host.find('?'), host.size()));
  if (const std::size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
  // The port follows the last ':' unless that one is inside an IPv6 address.
  std::string port;
  const std::size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
    port = host.substr(colon + 1);
    host.erase(colon);
  }
  if (host.empty()) return {};
  if (port.empty()) port = scheme == "https" ? "443" : "80";
  return scheme + "://" + host + ":" + port;
}

}  // namespace hv::http

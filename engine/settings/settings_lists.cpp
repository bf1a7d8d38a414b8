// The exported view of the settings sheet's lists.
#include "harvion/settings_lists.h"

#include <algorithm>

#include "engine/agent/guarded.h"
#include "engine/http/http_async_server.h"
#include "engine/http/password_store.h"
#include "engine/settings/list_merge.h"
#include "engine/settings/named_array.h"
#include "engine/settings/search_engine_list.h"
#include "engine/settings/settings_store.h"
#include "engine/settings/three_string_entry.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"

using hv::Guarded;

namespace {

namespace st = hv::settings;

std::vector<SearchEngineItem> ReadEngines(const hv::reg::Tree& tree, const std::string& key) {
  std::vector<SearchEngineItem> list;
  const std::string query = st::ValueName(hv::res::IDS_REG_QUERY_STRING);
  for (const std::string& name : tree.SubKeys(key)) {
    SearchEngineItem item{name, {}, {}};
    tree.ReadString(key + '\\' + name, std::string(), item.location);
    tree.ReadString(key + '\\' + name, query, item.query);
    list.push_back(std::move(item));
  }
  return list;
}

void WriteEngines(hv::reg::Tree& tree, const std::string& key, const std::vector<SearchEngineItem>& list) {
  const std::string query = st::ValueName(hv::res::IDS_REG_QUERY_STRING);
  for (const std::string& sub : tree.SubKeys(key)) tree.DeleteKey(key + '\\' + sub);
  for (const SearchEngineItem& item : list) {
    // A backslash would make the title a path of nested keys.
    if (item.title.empty() || item.title.find('\\') != std::string::npos) continue;
    tree.WriteString(key + '\\' + item.title, std::string(), item.location);
    tree.WriteString(key + '\\' + item.title, query, item.query);
  }
}

}  // namespace

std::vector<SearchEngineItem> CSettingsLists::SearchEngines() {
  return Guarded(std::vector<SearchEngineItem>(), [] {
    CNamedArray engines;
    st::LoadSearchEngines(engines);
    std::vector<SearchEngineItem> list;
    for (int i = 0; i < engines.GetSize(); ++i) {
      const auto* entry = static_cast<const C3StringEntry*>(engines.GetAt(i));
      list.push_back({entry->m_strName, entry->m_strFirst, entry->m_strSecond});
    }
    return list;
  });
}

bool CSettingsLists::ChangeSearchEngines(const std::vector<SearchEngineItem>& shown,
                                         const std::vector<SearchEngineItem>& edited) {
  return Guarded(false, [&] {
    std::string key;
    if (!st::KeyPath(hv::res::IDS_REG_SEARCH_ENGINES, key)) return false;
    // Titles name keys, and the store compares key names without case.
    const auto keyOf = [](const SearchEngineItem& item) {
      std::string lower = item.title;
      for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      return lower;
    };
    return hv::reg::Edit([&](hv::reg::Tree& tree) {
      WriteEngines(tree, key, st::MergeListEdits(ReadEngines(tree, key), shown, edited, keyOf));
    });
  });
}

std::vector<PasswordItem> CSettingsLists::Passwords() {
  return Guarded(std::vector<PasswordItem>(), [] {
    std::vector<PasswordItem> list;
    for (auto& entry : hv::http::LoadPasswords()) list.push_back({entry.realm, entry.server, entry.user, entry.password});
    return list;
  });
}

bool CSettingsLists::ChangePasswords(const std::vector<PasswordItem>& shown, const std::vector<PasswordItem>& edited) {
  return Guarded(false, [&] {
    const auto convert = [](const std::vector<PasswordItem>& items) {
      hv::http::PasswordList list;
      for (const PasswordItem& item : items) {
        // A server typed as an address is kept as the server part the prompt compares.
        std::string server = item.server.empty() ? std::string() : hv::http::ServerOf(item.server);
        if (server.empty()) server = item.server;
        list.push_back({item.realm, server, item.user, item.password});
      }
      return list;
    };
    return hv::http::ChangePasswords(convert(shown), convert(edited));
  });
}

std::string CSettingsLists::CopyName(const std::vector<std::string>& names, const std::string& name) {
  return Guarded(std::string(), [&] {
    return st::CopyName(name, [&](const std::string& candidate) {
      return std::find(names.begin(), names.end(), candidate) != names.end();
    });
  });
}

std::string CSettingsLists::Text(unsigned id) {
  return Guarded(std::string(), [&] { return hv::res::LoadString(id); });
}

bool CSettingsLists::IsRetrievalStopped() {
  return Guarded(false, [] { return CHTTPAsyncServer::Instance().GetState() == CAsyncServer::Stopped; });
}

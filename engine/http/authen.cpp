#include "engine/http/authen.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "engine/settings/settings_store.h"
#include "engine/settings/three_string_entry.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"

IMPLEMENT_DYNAMIC(CAuthen, CObject)

namespace {

bool HasControlBytes(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

std::string AsciiLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// What Save writes: entries that hold something to remember, under names the
// store can keep. Realm names come from servers; one with control bytes
// would go raw into a key line of the file, so it is kept in memory only.
// The store matches key names without regard to case: of two realms whose
// names differ only so, the first alone is stored, lest one realm's password
// be written under the other's name.
std::unique_ptr<CNamedArray> StorableEntries(const CNamedArray& list) {
  auto storable = std::make_unique<CNamedArray>();
  std::set<std::string> names;
  for (int i = 0; i < list.GetSize(); ++i) {
    const auto* entry = dynamic_cast<const C3StringEntry*>(list.GetAt(i));
    if (!entry || (entry->m_strFirst.empty() && entry->m_strSecond.empty()) || HasControlBytes(entry->m_strName) ||
        !names.insert(AsciiLower(entry->m_strName)).second)
      continue;
    storable->Add(entry->Clone(entry->m_strName));
  }
  return storable;
}

}  // namespace

CAuthen& CAuthen::Instance() {
  static CAuthen authen;
  return authen;
}

void CAuthen::Load() {
  auto passwords = std::make_unique<CNamedArray>();
  std::string key;
  if (hv::settings::KeyPath(hv::res::IDS_REG_AUTHENTICATION, key))
    hv::settings::LoadThreeStringList(key, *passwords, hv::res::IDS_REG_PASSWORD);
  const bool unread = !hv::reg::StoreProblem().empty();
  std::map<std::string, std::shared_ptr<CRealm>> realms;
  for (int i = 0; i < passwords->GetSize(); ++i) {
    const auto* entry = dynamic_cast<const C3StringEntry*>(passwords->GetAt(i));
    if (!entry || entry->m_strName.empty() || realms.contains(entry->m_strName)) continue;
    auto realm = std::make_shared<CRealm>(*this, entry->m_strName);
    realm->m_strUser = entry->m_strFirst;
    realm->m_strPassword = entry->m_strSecond;
    // An entry with neither is a realm met but never answered: it has no
    // credentials until the user confirms some, even a lone colon.
    if (!realm->m_strUser.empty() || !realm->m_strPassword.empty()) realm->ComputeCredentials();
    realms.emplace(entry->m_strName, std::move(realm));
  }
  std::lock_guard lock(m_mutex);
  m_realms.swap(realms);
  m_passwords.swap(passwords);
  m_bStoreUnread = unread;
  m_tRunStart = 0;
}

bool CAuthen::Save() {
  std::lock_guard saveLock(m_saveMutex);
  std::unique_ptr<CNamedArray> storable;
  {
    std::lock_guard lock(m_mutex);
    if (m_bStoreUnread) return false;
    storable = StorableEntries(*m_passwords);
  }
  std::string key;
  return hv::settings::KeyPath(hv::res::IDS_REG_AUTHENTICATION, key) &&
         hv::settings::SaveThreeStringList(key, *storable, hv::res::IDS_REG_PASSWORD);
}

std::shared_ptr<CRealm> CAuthen::FindOwned(const std::string& realm, const CAnchor* location) {
  std::lock_guard lock(m_mutex);
  const auto it = m_realms.find(realm);
  return it != m_realms.end() && it->second->m_pOwner == location ? it->second : nullptr;
}

std::shared_ptr<CRealm> CAuthen::FindAndClaim(const std::string& realm, const CAnchor* location) {
  std::lock_guard lock(m_mutex);
  return ClaimLocked(realm, location, false);
}

std::shared_ptr<CRealm> CAuthen::FindOrCreateAndClaim(const std::string& realm, const CAnchor* location) {
  std::lock_guard lock(m_mutex);
  return ClaimLocked(realm, location, true);
}

// Caller holds m_mutex.
std::shared_ptr<CRealm> CAuthen::ClaimLocked(const std::string& realm, const CAnchor* location, bool create) {
  if (realm.empty() || !location) return nullptr;
  auto it = m_realms.find(realm);
  if (it == m_realms.end()) {
    if (!create) return nullptr;
    it = m_realms.emplace(realm, std::make_shared<CRealm>(*this, realm)).first;
    if (m_passwords->Find(realm) < 0) m_passwords->Add(std::make_unique<C3StringEntry>(realm, "", ""));
  }
  CRealm& found = *it->second;
  if (found.m_pOwner && found.m_pOwner != location) return nullptr;
  found.m_pOwner = location;
  return it->second;
}

void CAuthen::RememberPasswordLocked(const std::string& realm, const std::string& user,
                                     const std::string& password) {
  const int index = m_passwords->Find(realm);
  if (index < 0) {
    m_passwords->Add(std::make_unique<C3StringEntry>(realm, user, password));
    return;
  }
  if (auto* entry = dynamic_cast<C3StringEntry*>(m_passwords->GetAt(index))) {
    entry->m_strFirst = user;
    entry->m_strSecond = password;
  }
}

CAuthen::RequestCredentials CAuthen::CredentialsFor(const RequestState& state) {
  using Action = RequestCredentials::Action;
  RequestCredentials answer;
  std::unique_lock lock(m_mutex);
  m_tRunStart = std::max(m_tRunStart, state.runStart);
  if (!state.needsAuthentication) {
    // A realm known to take these credentials gets them without a 401 first.
    if (state.realm.empty()) return answer;
    const std::shared_ptr<CRealm> realm = ClaimLocked(state.realm, state.location, false);
    if (realm && !realm->m_strCredentials.empty()) {
      answer.credentials = realm->m_strCredentials;
      return answer;
    }
    answer.forgetRealm = true;
    if (realm) realm->m_pOwner = nullptr;
    return answer;
  }
  if (state.realm.empty()) {
    answer.action = Action::endLoad;
    return answer;
  }
  const std::shared_ptr<CRealm> realm = ClaimLocked(state.realm, state.location, true);
  if (!realm) {
    answer.action = Action::retry;
    return answer;
  }
  const bool checkedThisRun = realm->m_tCheckedAt >= state.runStart;
  const bool known = !realm->m_strCredentials.empty();
  if (known && (!checkedThisRun || realm->m_nAccepted == 1)) {
    answer.credentials = realm->m_strCredentials;
    return answer;
  }
  const bool refusedThisRun = checkedThisRun && realm->m_nAccepted == 0 && known;
  if (state.interactive && (refusedThisRun || (!checkedThisRun && !known))) {
    lock.unlock();
    const bool confirmed = realm->Prompt(state.url);
    lock.lock();
    if (confirmed) {
      answer.credentials = realm->m_strCredentials;
      return answer;
    }
  }
  // Nothing left to try in this run: the 401 response stands.
  realm->m_tCheckedAt = std::max(state.now, m_tRunStart);
  realm->m_strCredentials.clear();
  realm->m_pOwner = nullptr;
  realm->m_nAccepted = 0;
  answer.action = Action::endLoad;
  return answer;
}

void CAuthen::CheckResponse(int statusCode, const std::string& realm, const CAnchor* location, std::uint32_t now) {
  std::lock_guard lock(m_mutex);
  const auto it = m_realms.find(realm);
  if (it == m_realms.end() || !location || it->second->m_pOwner != location) return;
  CRealm& found = *it->second;
  // A check dated before the run's start would count as not yet tried, and
  // refused credentials would be sent again and again after a clock step back.
  switch (statusCode) {
    case 200:
    case 301:
    case 302:
    case 304:
    case 400:
      found.m_nAccepted = 1;
      found.m_tCheckedAt = std::max(now, m_tRunStart);
      break;
    case 401:
      found.m_nAccepted = 0;
      found.m_tCheckedAt = std::max(now, m_tRunStart);
      break;
    default:
      break;
  }
  found.m_pOwner = nullptr;
}

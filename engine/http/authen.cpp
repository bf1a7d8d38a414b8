#include "engine/http/authen.h"

#include <algorithm>

#include "engine/http/credentials_prompt.h"
#include "platform/registry/registry.h"

IMPLEMENT_DYNAMIC(CAuthen, CObject)

using hv::http::ServerOf;
using hv::http::StoredPassword;

CAuthen& CAuthen::Instance() {
  static CAuthen authen;
  return authen;
}

void CAuthen::Load() {
  hv::http::PasswordList passwords = hv::http::LoadPasswords();
  const bool unread = !hv::reg::StoreProblem().empty();
  std::map<RealmKey, std::shared_ptr<CRealm>> realms;
  for (const StoredPassword& entry : passwords) {
    // An entry of no server yet is no realm: it only fills in the prompt.
    if (entry.realm.empty() || entry.server.empty() || realms.contains({entry.server, entry.realm})) continue;
    auto realm = std::make_shared<CRealm>(*this, entry.server, entry.realm);
    realm->m_strUser = entry.user;
    realm->m_strPassword = entry.password;
    // An entry with neither is a realm met but never answered: it has no
    // credentials until the user confirms some, even a lone colon.
    if (!realm->m_strUser.empty() || !realm->m_strPassword.empty()) realm->ComputeCredentials();
    realms.emplace(RealmKey{entry.server, entry.realm}, std::move(realm));
  }
  std::lock_guard lock(m_mutex);
  m_realms.swap(realms);
  m_loadedPasswords = passwords;
  m_passwords.swap(passwords);
  m_bStoreUnread = unread;
  m_tRunStart = 0;
}

bool CAuthen::Save() {
  std::lock_guard saveLock(m_saveMutex);
  hv::http::PasswordList loaded, copy;
  {
    std::lock_guard lock(m_mutex);
    if (m_bStoreUnread) return false;
    loaded = m_loadedPasswords;
    copy = m_passwords;
  }
  // Only what the run changed is written: passwords the user edited in the
  // settings meanwhile stay.
  if (!hv::http::ChangePasswords(loaded, copy)) return false;
  std::lock_guard lock(m_mutex);
  m_loadedPasswords = std::move(copy);
  return true;
}

std::shared_ptr<CRealm> CAuthen::FindOwned(const std::string& server, const std::string& realm,
                                           const CAnchor* location) {
  std::lock_guard lock(m_mutex);
  const auto it = m_realms.find({server, realm});
  return it != m_realms.end() && it->second->m_pOwner == location ? it->second : nullptr;
}

std::shared_ptr<CRealm> CAuthen::FindAndClaim(const std::string& server, const std::string& realm,
                                              const CAnchor* location) {
  std::lock_guard lock(m_mutex);
  return ClaimLocked(server, realm, location, false);
}

std::shared_ptr<CRealm> CAuthen::FindOrCreateAndClaim(const std::string& server, const std::string& realm,
                                                      const CAnchor* location) {
  std::lock_guard lock(m_mutex);
  return ClaimLocked(server, realm, location, true);
}

// Caller holds m_mutex.
std::shared_ptr<CRealm> CAuthen::ClaimLocked(const std::string& server, const std::string& realm,
                                             const CAnchor* location, bool create) {
  if (server.empty() || realm.empty() || !location) return nullptr;
  auto it = m_realms.find({server, realm});
  if (it == m_realms.end()) {
    if (!create) return nullptr;
    auto made = std::make_shared<CRealm>(*this, server, realm);
    const auto unbound = std::find_if(m_passwords.begin(), m_passwords.end(), [&](const StoredPassword& entry) {
      return entry.server.empty() && entry.realm == realm;
    });
    if (unbound != m_passwords.end()) {
      made->m_strUser = unbound->user;
      made->m_strPassword = unbound->password;
    }
    it = m_realms.emplace(RealmKey{server, realm}, std::move(made)).first;
  }
  CRealm& found = *it->second;
  if (found.m_pOwner && found.m_pOwner != location) return nullptr;
  found.m_pOwner = location;
  return it->second;
}

void CAuthen::RememberPasswordLocked(const std::string& server, const std::string& realm, const std::string& user,
                                     const std::string& password) {
  auto entry = std::find_if(m_passwords.begin(), m_passwords.end(), [&](const StoredPassword& e) {
    return e.server == server && e.realm == realm;
  });
  if (entry == m_passwords.end()) {
    entry = std::find_if(m_passwords.begin(), m_passwords.end(),
                         [&](const StoredPassword& e) { return e.server.empty() && e.realm == realm; });
  }
  if (entry == m_passwords.end()) {
    m_passwords.push_back({realm, server, user, password});
    return;
  }
  entry->server = server;
  entry->user = user;
  entry->password = password;
}

CAuthen::RequestCredentials CAuthen::CredentialsFor(const RequestState& state) {
  using Action = RequestCredentials::Action;
  RequestCredentials answer;
  const std::string server = ServerOf(state.url);
  std::unique_lock lock(m_mutex);
  m_tRunStart = std::max(m_tRunStart, state.runStart);
  if (!state.needsAuthentication) {
    // A realm known to take these credentials gets them without a 401 first.
    if (state.realm.empty()) return answer;
    const std::shared_ptr<CRealm> realm = ClaimLocked(server, state.realm, state.location, false);
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
  if (server.empty() || ServerOf(state.challengedUrl) != server) {
    // The 401 came from the server the page was at before a redirect: this
    // one has asked for nothing yet.
    answer.forgetRealm = true;
    return answer;
  }
  const std::shared_ptr<CRealm> realm = ClaimLocked(server, state.realm, state.location, true);
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
  if (state.interactive && (refusedThisRun || (!checkedThisRun && !known)) && hv::http::HasCredentialsPrompt()) {
    // Asked later, by the asker: the realm stays claimed meanwhile, so
    // other locations wait for this answer instead of asking too.
    answer.action = Action::ask;
    answer.realm = realm;
    return answer;
  }
  GiveUpLocked(*realm, state.now);
  answer.action = Action::endLoad;
  return answer;
}

void CAuthen::GiveUp(CRealm& realm, std::uint32_t now) {
  std::lock_guard lock(m_mutex);
  GiveUpLocked(realm, now);
}

// Caller holds m_mutex. Nothing left to try in this run: the 401 response
// stands.
void CAuthen::GiveUpLocked(CRealm& realm, std::uint32_t now) {
  realm.m_tCheckedAt = std::max(now, m_tRunStart);
  realm.m_strCredentials.clear();
  realm.m_pOwner = nullptr;
  realm.m_nAccepted = 0;
}

void CAuthen::ReleaseAll(const CAnchor* location) {
  std::lock_guard lock(m_mutex);
  ReleaseAllLocked(location);
}

void CAuthen::ReleaseAllLocked(const CAnchor* location) {
  for (auto& [key, held] : m_realms)
    if (held->m_pOwner == location) held->m_pOwner = nullptr;
}

void CAuthen::CheckResponse(int statusCode, const std::string& url, const std::string& realm,
                            const CAnchor* location, std::uint32_t now) {
  if (!location) return;
  std::lock_guard lock(m_mutex);
  const auto it = m_realms.find({ServerOf(url), realm});
  if (it != m_realms.end() && it->second->m_pOwner == location) {
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
  }
  // Whatever the page's address or realm became meanwhile, nothing stays held.
  ReleaseAllLocked(location);
}

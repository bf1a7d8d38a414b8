// Every authentication realm the engine knows, with the stored passwords,
// and the rules by which a location gets Basic credentials for a request and
// learns from the response whether they worked.
//
// A realm is a protection space: its name on one server (scheme, host and
// port). The same name on another server is another realm, so credentials
// go only to the server that asked for them.
//
// A location claims a realm while its request with the realm's credentials is
// out, so the user is asked at most once at a time per realm and a refused
// password is noticed before other locations send it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "engine/http/password_store.h"
#include "engine/http/realm.h"

class CAuthen : public CObject {
  DECLARE_DYNAMIC(CAuthen)
 public:
  CAuthen() = default;
  CAuthen(const CAuthen&) = delete;
  CAuthen& operator=(const CAuthen&) = delete;

  // The engine's one instance.
  static CAuthen& Instance();

  // Forgets every realm and reads the stored passwords afresh; each stored
  // realm starts free and unchecked. Done at every run start.
  void Load();
  // Writes what changed in the passwords list since the last Load or Save
  // back to the store. False when the store could not be written, or was
  // unreadable at the last Load.
  bool Save();

  // Realms are named by the server ("http://host:port", see ServerOf) and
  // the realm's name there.
  // The realm when it exists and the location owns it.
  std::shared_ptr<CRealm> FindOwned(const std::string& server, const std::string& realm, const CAnchor* location);
  // The realm, now owned by the location, when it exists and is free or the
  // location's already.
  std::shared_ptr<CRealm> FindAndClaim(const std::string& server, const std::string& realm,
                                       const CAnchor* location);
  // As FindAndClaim; a realm not met before is made with no credentials.
  // A stored password of no server yet for the realm's name fills in its
  // user and password, for the user to confirm.
  std::shared_ptr<CRealm> FindOrCreateAndClaim(const std::string& server, const std::string& realm,
                                               const CAnchor* location);

  // What a location knows when its request is being built.
  struct RequestState {
    const CAnchor* location = nullptr;
    std::string realm;  // the page record's realm (empty: none)
    bool needsAuthentication = false;  // the server answered 401 before
    std::string url;  // the page's address: its server, and for the prompt
    // The address whose 401 named the realm; a realm of another server (the
    // page was sent elsewhere since) gives this request nothing.
    std::string challengedUrl;
    std::uint32_t runStart = 0;
    std::uint32_t now = 0;
    bool interactive = false;  // false in unattended runs: nobody is asked
  };
  struct RequestCredentials {
    enum class Action {
      send,     // send the request, with Authorization when credentials is not empty
      retry,    // another location holds the realm: submit the load again
      endLoad,  // the 401 response stands: the transfer ends with status 0
      // the user is to be asked (realm, claimed by the location): the
      // transfer ends, and the location waits for the answer
      ask,
    };
    Action action = Action::send;
    std::string credentials;  // base64 only: safe to put in a header line
    bool forgetRealm = false;  // clear the page record's realm
    std::shared_ptr<CRealm> realm;  // ask: the realm to ask for
  };
  // The credentials rules for one request. Never asks the user itself: an
  // interactive run with a prompt installed gets Action::ask instead, and
  // the answer (CRealm::Prompt) makes the next request's credentials.
  RequestCredentials CredentialsFor(const RequestState& state);
  // The user gave up (or could not be asked): the realm's credentials go,
  // it is dated refused in this run and released.
  void GiveUp(CRealm& realm, std::uint32_t now);
  // Releases every realm the location holds (it is going away).
  void ReleaseAll(const CAnchor* location);
  // The response check, with the status code as soon as the header is
  // parsed (0 when the transfer ended without one): notes whether the
  // location's credentials for the realm of the address's server were
  // accepted, and releases every realm the location holds.
  void CheckResponse(int statusCode, const std::string& url, const std::string& realm, const CAnchor* location,
                     std::uint32_t now);

  // The realms' lock: every realm field, the map and the list are guarded by it.
  std::mutex& Mutex() { return m_mutex; }
  // Copies user and password into the realm's entry of the passwords list:
  // the server's own, else the realm name's entry of no server yet (now
  // bound to the server), else a new one. Caller holds Mutex().
  void RememberPasswordLocked(const std::string& server, const std::string& realm, const std::string& user,
                              const std::string& password);

 private:
  using RealmKey = std::pair<std::string, std::string>;  // server, realm name
  void GiveUpLocked(CRealm& realm, std::uint32_t now);
  void ReleaseAllLocked(const CAnchor* location);
  std::shared_ptr<CRealm> ClaimLocked(const std::string& server, const std::string& realm, const CAnchor* location,
                                      bool create);

  std::mutex m_mutex;
  std::mutex m_saveMutex;  // keeps the order of writes that of the copies written
  // Shared so that a realm stays valid for a worker that is asking the user
  // while a Load replaces the map.
  std::map<RealmKey, std::shared_ptr<CRealm>> m_realms;
  hv::http::PasswordList m_passwords;
  hv::http::PasswordList m_loadedPasswords;  // as read at Load: what Save compares with
  bool m_bStoreUnread = false;
  std::uint32_t m_tRunStart = 0;  // the latest run start a request named since Load
};

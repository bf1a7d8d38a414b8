// One authentication realm (a name on one server) the engine has met or the
// user has entered: who to log in as, the ready-made Basic credentials,
// which location is using it and what the server last said to them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/framework/serial.h"

class CAnchor;
class CAuthen;

class CRealm : public CObject {
  DECLARE_DYNAMIC(CRealm)
 public:
  CRealm(CAuthen& authen, std::string server, std::string name)
      : m_authen(authen), m_strServer(std::move(server)), m_strName(std::move(name)) {}
  CRealm(const CRealm&) = delete;
  CRealm& operator=(const CRealm&) = delete;

  // Frees the realm for other locations.
  void Release();
  // credentials = base64 of user ":" password. Caller holds the realms' lock.
  void ComputeCredentials();
  // Asks the user through the front end's prompt, without holding the lock.
  // On OK the answer becomes the realm's, not yet tried, and is stored with
  // the passwords when the user chose to remember it; on Cancel (or with no
  // prompt installed) the credentials are emptied. Once withdrawn is set
  // the answer is nobody's: the realm is left alone and false returned.
  bool Prompt(const std::string& url, std::shared_ptr<const std::atomic<bool>> withdrawn = nullptr);

  CAuthen& m_authen;
  const std::string m_strServer;  // "scheme://host:port": the only server it goes to
  const std::string m_strName;    // as the server gave it
  std::string m_strUser;
  std::string m_strPassword;
  std::string m_strCredentials;  // empty when unknown or refused
  const CAnchor* m_pOwner = nullptr;  // the location that claimed it
  int m_nAccepted = 0;  // 1 when the server took the credentials at the last check
  std::uint32_t m_tCheckedAt = 0;  // when the server last answered them, or the user gave up
};

#include "engine/http/realm.h"

#include <mutex>

#include "engine/http/authen.h"
#include "engine/http/base64.h"
#include "engine/http/credentials_prompt.h"
#include "harvion/saf_client.h"

IMPLEMENT_DYNAMIC(CRealm, CObject)

void CRealm::Release() {
  std::lock_guard lock(m_authen.Mutex());
  m_pOwner = nullptr;
}

void CRealm::ComputeCredentials() { m_strCredentials = hv::http::Base64Encode(m_strUser + ':' + m_strPassword); }

bool CRealm::Prompt(const std::string& url, std::shared_ptr<const std::atomic<bool>> withdrawn) {
  CredentialsRequest request;
  {
    std::lock_guard lock(m_authen.Mutex());
    request.realm = m_strName;
    request.user = m_strUser;
    request.password = m_strPassword;
  }
  request.url = url;
  request.owner = CSafClient::GetSafClient()->GetMainWnd();
  request.withdrawn = withdrawn;
  const bool confirmed = hv::http::AskForCredentials(request);
  // Nobody waits for a late answer: the realm stays as it was.
  if (withdrawn && withdrawn->load()) return false;
  if (!confirmed) {
    std::lock_guard lock(m_authen.Mutex());
    m_strCredentials.clear();
    return false;
  }
  {
    std::lock_guard lock(m_authen.Mutex());
    m_strUser = request.user;
    m_strPassword = request.password;
    ComputeCredentials();
    // Not yet tried: the next request sends them, even after a refusal in
    // this run, and a refusal of them asks again.
    m_tCheckedAt = 0;
    m_nAccepted = 0;
    if (request.remember) m_authen.RememberPasswordLocked(m_strServer, m_strName, m_strUser, m_strPassword);
  }
  if (request.remember) m_authen.Save();
  return true;
}

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

bool CRealm::Prompt(const std::string& url) {
  CredentialsRequest request;
  {
    std::lock_guard lock(m_authen.Mutex());
    request.realm = m_strName;
    request.user = m_strUser;
    request.password = m_strPassword;
  }
  request.url = url;
  request.owner = CSafClient::GetSafClient()->GetMainWnd();
  if (!hv::http::AskForCredentials(request)) {
    std::lock_guard lock(m_authen.Mutex());
    m_strCredentials.clear();
    return false;
  }
  {
    std::lock_guard lock(m_authen.Mutex());
    m_strUser = request.user;
    m_strPassword = request.password;
    ComputeCredentials();
    m_authen.RememberPasswordLocked(m_strServer, m_strName, m_strUser, m_strPassword);
  }
  m_authen.Save();
  return true;
}

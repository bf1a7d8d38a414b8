// Certificates for TLS tests, made with the openssl command in a folder of
// the test: a CA, server certificates it signed (for 127.0.0.1 and
// localhost, for another host, long expired) and one from a CA nobody
// trusts. Each server certificate is a .pem with its .key beside it.
#pragma once

#include <string>
#include <vector>

namespace hvtest {

class TestCertificates {
 public:
  enum Server { good, otherHost, expired, untrusted };

  // Makes every file in dir; Made() tells whether all of them are there.
  explicit TestCertificates(std::string dir);
  bool Made() const { return m_bMade; }
  // What the last openssl command said, for a failure's message.
  const std::string& Messages() const { return m_messages; }

  // The CA certificate that signed every server certificate but untrusted.
  std::string CaFile() const { return m_dir + "/ca.pem"; }
  std::string CertFile(Server server) const;
  std::string KeyFile(Server server) const;

  // The openssl command; empty when it is not installed.
  static std::string Program();

 private:
  // Runs openssl with the arguments, bounded in time.
  bool Run(std::vector<std::string> args);
  bool MakeCa(const std::string& name, const std::string& subject);
  bool MakeServer(Server server, const std::string& ca, const std::string& names,
                  const std::vector<std::string>& dates);

  std::string m_dir;
  std::string m_messages;
  bool m_bMade = false;
};

}  // namespace hvtest

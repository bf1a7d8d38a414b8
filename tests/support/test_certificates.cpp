#include "support/test_certificates.h"

#include <chrono>
#include <vector>

#include "support/child_process.h"
#include "support/text_files.h"

namespace hvtest {

namespace {

const char* const kNames[] = {"good", "otherhost", "expired", "untrusted"};

// A CA with its own small database, so that "openssl ca" can sign with
// any dates; paths are absolute, the test's working folder is not ours.
std::string CaConfig(const std::string& dir, const std::string& name) {
  const std::string base = dir + "/" + name;
  return "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = unused\n"
         "[ca_ext]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
         "subjectKeyIdentifier = hash\n"
         "[ca]\ndefault_ca = test_ca\n[test_ca]\ndatabase = " + base + "-index.txt\n"
         "new_certs_dir = " + dir + "\nserial = " + base + "-serial\ndefault_md = sha256\n"
         "policy = any\nunique_subject = no\n[any]\ncommonName = supplied\n";
}

}  // namespace

std::string TestCertificates::Program() { return FindProgram("openssl"); }

TestCertificates::TestCertificates(std::string dir) : m_dir(std::move(dir)) {
  // Dates far in the past make an expired certificate without waiting.
  const std::vector<std::string> valid{"-days", "30"};
  const std::vector<std::string> lapsed{"-startdate", "20200101000000Z", "-enddate", "20200201000000Z"};
  m_bMade = !Program().empty() && MakeCa("ca", "/CN=Harvion Test CA") &&
            MakeCa("stranger", "/CN=Harvion Stranger CA") &&
            MakeServer(good, "ca", "IP:127.0.0.1,DNS:localhost", valid) &&
            MakeServer(otherHost, "ca", "DNS:other.example", valid) &&
            MakeServer(expired, "ca", "IP:127.0.0.1,DNS:localhost", lapsed) &&
            MakeServer(untrusted, "stranger", "IP:127.0.0.1,DNS:localhost", valid);
}

std::string TestCertificates::CertFile(Server server) const { return m_dir + "/" + kNames[server] + ".pem"; }
std::string TestCertificates::KeyFile(Server server) const { return m_dir + "/" + kNames[server] + ".key"; }

bool TestCertificates::Run(std::vector<std::string> args) {
  args.insert(args.begin(), Program());
  const ProgramResult result = RunProgram(args, std::chrono::seconds(20));
  m_messages = result.output;
  return result.status == 0 && !result.timedOut;
}

bool TestCertificates::MakeCa(const std::string& name, const std::string& subject) {
  const std::string base = m_dir + "/" + name;
  return WriteText(base + ".cnf", CaConfig(m_dir, name)) && WriteText(base + "-index.txt", "") &&
         WriteText(base + "-serial", "01\n") &&
         Run({"req", "-x509", "-config", base + ".cnf", "-extensions", "ca_ext", "-newkey", "ec",
                         "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", base + ".key", "-out",
                         base + ".pem", "-days", "30", "-subj", subject});
}

bool TestCertificates::MakeServer(Server server, const std::string& ca, const std::string& names,
                                  const std::vector<std::string>& dates) {
  const std::string base = m_dir + "/" + kNames[server];
  const std::string caBase = m_dir + "/" + ca;
  if (!WriteText(base + ".ext", "basicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\nsubjectAltName = " +
                                    names + "\n"))
    return false;
  if (!Run({"req", "-new", "-config", caBase + ".cnf", "-newkey", "ec", "-pkeyopt",
                       "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", base + ".key", "-out", base + ".csr",
                       "-subj", std::string("/CN=") + kNames[server]}))
    return false;
  std::vector<std::string> args{"ca",       "-batch", "-config", caBase + ".cnf", "-notext", "-cert", caBase + ".pem",
                                "-keyfile", caBase + ".key", "-in", base + ".csr", "-out", base + ".pem",
                                "-extfile", base + ".ext"};
  args.insert(args.end(), dates.begin(), dates.end());
  return Run(std::move(args));
}

}  // namespace hvtest

// nginx serving a folder on 127.0.0.1 as a child process in the foreground,
// its configuration, logs and temporary files in a folder of its own, on a
// port the system assigns. Used by the end-to-end tests and the benchmarks.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace hvtest {

class NginxServer {
 public:
  struct Options {
    std::string root;           // the folder served
    std::string serverConfig;   // lines inside the server block
    bool keepAlive = false;
    bool accessLog = false;     // "METHOD URI STATUS BYTES" per request
    bool logConnection = false;  // with accessLog: " CONNECTION" after it, nginx's serial number
    // TLS on the port with this certificate and key when set (https: addresses).
    std::string sslCertificate, sslKey;
    // The loopback address it listens on: another one (127.0.0.2) is another
    // host to the agent, with no set-up on Linux.
    std::string address = "127.0.0.1";
  };

  // The folder for nginx's own files; empty: a temporary one, removed at the end.
  explicit NginxServer(std::string dir = {});
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // The installed program; empty when nginx is not installed.
  static std::string Program();

  // Started and answering on the port; false, with Messages() telling why, otherwise.
  bool Start(const Options& options);
  // Fast shutdown, killed when it does not end within a few seconds.
  void Stop();

  int Port() const { return m_port; }
  // "http://ADDRESS:PORT/", or https: with TLS
  std::string BaseUrl() const;
  const std::string& Dir() const { return m_dir; }
  // A path in nginx's folder, where configuration the server lines name can go.
  std::string Path(const std::string& name) const;
  // What nginx wrote to its output and error log.
  std::string Messages() const;
  // The access log lines so far (with Options::accessLog).
  std::vector<std::string> AccessLog() const;
  // Writes a password file for auth_basic_user_file with one user.
  bool WritePasswordFile(const std::string& name, const std::string& user, const std::string& password) const;

 private:
  std::string Config(const Options& options) const;
  std::string WorkerUser() const;

  std::string m_dir;
  bool m_bOwnDir = false;
  pid_t m_pid = -1;
  int m_port = 0;
  std::string m_address = "127.0.0.1";
  bool m_bTls = false;
};

}  // namespace hvtest

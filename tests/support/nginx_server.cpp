#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/child_process.h"
#include "support/text_files.h"

namespace hvtest {

namespace {

using Clock = std::chrono::steady_clock;

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

sockaddr_in Loopback(const std::string& address, int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

int FreePort(const std::string& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in addr = Loopback(address, 0);
  socklen_t length = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

bool PortAnswers(const std::string& address, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr = Loopback(address, port);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// A worker running as nobody must reach the served files: folders open to
// all, files readable by all.
void OpenToAll(const std::string& root) {
  namespace stdfs = std::filesystem;
  std::error_code error;
  const auto all = stdfs::perms::others_read | stdfs::perms::group_read;
  const auto enter = stdfs::perms::others_exec | stdfs::perms::group_exec;
  stdfs::permissions(root, all | enter, stdfs::perm_options::add, error);
  for (auto it = stdfs::recursive_directory_iterator(root, error); !error && it != stdfs::end(it);
       it.increment(error)) {
    const bool folder = it->is_directory(error);
    stdfs::permissions(it->path(), folder ? all | enter : all, stdfs::perm_options::add, error);
  }
}

}  // namespace

NginxServer::NginxServer(std::string dir) : m_dir(std::move(dir)) {
  if (!m_dir.empty()) return;
  std::string pattern = TempDirectory() + "/hvnginx.XXXXXX";
  if (::mkdtemp(pattern.data())) {
    m_dir = pattern;
    m_bOwnDir = true;
  }
}

NginxServer::~NginxServer() {
  Stop();
  if (m_bOwnDir) {
    std::error_code error;
    std::filesystem::remove_all(m_dir, error);
  }
}

std::string NginxServer::Program() {
  std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
  dirs += ":/usr/sbin:/usr/local/sbin:/sbin";
  std::istringstream list(dirs);
  for (std::string dir; std::getline(list, dir, ':');) {
    if (dir.empty()) continue;
    const std::string path = dir + "/nginx";
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::string NginxServer::Path(const std::string& name) const { return m_dir + "/" + name; }

std::string NginxServer::BaseUrl() const {
  return (m_bTls ? "https://" : "http://") + m_address + ":" + std::to_string(m_port) + "/";
}

std::string NginxServer::Messages() const {
  return ReadText(Path("nginx.out")) + ReadText(Path("nginx-error.log"));
}

std::vector<std::string> NginxServer::AccessLog() const {
  std::vector<std::string> lines;
  std::istringstream text(ReadText(Path("access.log")));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

bool NginxServer::WritePasswordFile(const std::string& name, const std::string& user,
                                    const std::string& password) const {
  return WriteText(Path(name), user + ":{PLAIN}" + password + "\n") && ::chmod(Path(name).c_str(), 0644) == 0;
}

// A few ports are tried: another process may take the free one first.
bool NginxServer::Start(const Options& options) {
  const std::string program = Program();
  if (program.empty() || m_dir.empty()) return false;
  if (::geteuid() == 0) OpenToAll(options.root);
  m_bTls = !options.sslCertificate.empty();
  m_address = options.address;
  for (int attempt = 0; attempt < 5; ++attempt) {
    m_port = FreePort(m_address);
    if (m_port == 0) continue;
    if (!WriteText(Path("nginx.conf"), Config(options))) return false;
    hvtest::SpawnOptions spawn;
    spawn.outPath = Path("nginx.out");
    m_pid = hvtest::Spawn({program, "-p", m_dir + "/", "-c", Path("nginx.conf"), "-e", Path("nginx-error.log")}, spawn);
    if (m_pid < 0) return false;
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < limit) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        break;
      }
      if (PortAnswers(m_address, m_port)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
  }
  return false;
}

void NginxServer::Stop() {
  if (m_pid < 0) return;
  ::kill(m_pid, SIGTERM);
  const auto limit = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(m_pid, &status, WNOHANG) == 0) {
    if (Clock::now() > limit) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m_pid = -1;
}

// Temporary paths inside the folder, so that a user other than root can run it.
std::string NginxServer::Config(const Options& options) const {
  std::string conf = "worker_processes 1;\ndaemon off;\nmaster_process on;\n";
  conf += "pid " + Path("nginx.pid") + ";\nerror_log " + Path("nginx-error.log") + " warn;\n";
  if (::geteuid() == 0) conf += WorkerUser();
  conf += "events { worker_connections 1024; }\nhttp {\n";
  if (options.accessLog) {
    conf += std::string("  log_format hv '$request_method $request_uri $status $body_bytes_sent") +
            (options.logConnection ? " $connection" : "") + "';\n";
    conf += "  access_log " + Path("access.log") + " hv;\n";
  } else {
    conf += "  access_log off;\n";
  }
  for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    conf += std::string("  ") + kind + "_temp_path " + Path(std::string("nginx-") + kind) + ";\n";
  conf += "  default_type text/html;\n  sendfile on;\n";
  conf += options.keepAlive ? "  keepalive_timeout 65;\n" : "  keepalive_timeout 0;\n";
  conf += "  types { text/html html htm; image/gif gif; image/png png; image/jpeg jpg; application/zip zip;\n"
          "    text/plain txt; application/pdf pdf;\n"
          "    text/css css; application/javascript js; font/woff2 woff2; font/ttf ttf; image/svg+xml svg; }\n";
  conf += "  server {\n    listen " + m_address + ":" + std::to_string(m_port) + (m_bTls ? " ssl" : "") + " backlog=1024;\n";
  if (m_bTls) {
    conf += "    ssl_certificate " + options.sslCertificate + ";\n";
    conf += "    ssl_certificate_key " + options.sslKey + ";\n";
  }
  conf += "    root " + options.root + ";\n";
  conf += options.serverConfig;
  conf += "  }\n}\n";
  return conf;
}

// Started by root, nginx would run its worker as "nobody" with a group of
// that name, which many systems lack: name nobody's own group, and open the
// folder to it.
std::string NginxServer::WorkerUser() const {
  const passwd* user = ::getpwnam("nobody");
  const group* grp = user ? ::getgrgid(user->pw_gid) : nullptr;
  if (!user || !grp) return "user root;\n";
  ::chmod(m_dir.c_str(), 0755);
  return std::string("user nobody ") + grp->gr_name + ";\n";
}

}  // namespace hvtest

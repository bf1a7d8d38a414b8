#include "platform/net/tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace hv::net {

namespace {

// A certificate file larger than this is no list of certificates.
constexpr off_t kMaxCaFileSize = 16 * 1024 * 1024;

struct Kept {
  std::string caFile;
  struct timespec changed {};
  off_t size = -1;
  TlsContextPtr context;
};

std::string OpenSslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  return reason ? reason : "unknown error";
}

TlsContextPtr MakeContext(const std::string& caFile, std::string& error) {
  ERR_clear_error();
  TlsContextPtr context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1) {
    error = "TLS could not be set up: " + OpenSslReason();
    return nullptr;
  }
  // A server that ends without close_notify ends the answer as a plain
  // close would; a body it announced and cut short is still caught by its length.
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  // No system store is no failure: the user's file may be all there is.
  SSL_CTX_set_default_verify_paths(context.get());
  ERR_clear_error();
  if (!caFile.empty() && SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr) != 1) {
    error = "CA file " + caFile + " holds no certificate (" + OpenSslReason() + ")";
    return nullptr;
  }
  return context;
}

}  // namespace

TlsContextPtr SharedTlsContext(const std::string& caFile, std::string& error) {
  static std::mutex mutex;
  static Kept kept;
  struct stat file {};
  if (!caFile.empty()) {
    if (::stat(caFile.c_str(), &file) != 0) {
      error = "CA file " + caFile + " cannot be read: " + std::strerror(errno);
      return nullptr;
    }
    if (!S_ISREG(file.st_mode) || file.st_size > kMaxCaFileSize) {
      error = "CA file " + caFile + " is not a certificate file";
      return nullptr;
    }
    if (::access(caFile.c_str(), R_OK) != 0) {
      error = "CA file " + caFile + " cannot be read: " + std::strerror(errno);
      return nullptr;
    }
  }
  const std::lock_guard lock(mutex);
  if (kept.context && kept.caFile == caFile && kept.size == file.st_size &&
      kept.changed.tv_sec == file.st_mtim.tv_sec && kept.changed.tv_nsec == file.st_mtim.tv_nsec)
    return kept.context;
  TlsContextPtr context = MakeContext(caFile, error);
  if (context) kept = {caFile, file.st_mtim, file.st_size, context};
  return context;
}

}  // namespace hv::net

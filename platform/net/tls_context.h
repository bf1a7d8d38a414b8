// What every TLS connection shares: TLS 1.2 or newer, and the certificates
// a server's chain must lead to (the system's, and those of a file the user
// added). Made once and kept while the file stays as it was.
#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;

namespace hv::net {

using TlsContextPtr = std::shared_ptr<ssl_ctx_st>;

// The context for caFile (empty: the system's certificates only); null,
// with why in error, when the file cannot be read or holds no certificate.
TlsContextPtr SharedTlsContext(const std::string& caFile, std::string& error);

}  // namespace hv::net

#include "engine/http/transfer_failure.h"

#include <cstdio>

#include "engine/http/http_async_client.h"

namespace hv::http {

namespace {

std::string PlainFailureText(int status) {
  switch (status) {
    case HttpStatus::closed:
      return {};
    case HttpStatus::noSocket:
      return "no socket could be made";
    case HttpStatus::noHostAddress:
      return "host name not found";
    case HttpStatus::connectFailed:
      return "could not connect";
    case HttpStatus::sendFailed:
      return "the request could not be sent";
    case HttpStatus::receiveFailed:
      return "the answer was cut short";
    case HttpStatus::noHost:
      return "the address names no host";
    case HttpStatus::timedOut:
      return "no answer within the time-out";
    case HttpStatus::noRequestText:
      return "no request could be made";
    case HttpStatus::headerTooLong:
      return "header block too long";
    case HttpStatus::notHttp:
      return kNotHttp;
    case HttpStatus::badBody:
      return "the answer's body could not be decoded";
    default:
      break;
  }
  if ((status & 0xF000) == 0x1000) return {};  // stopped
  char text[40];
  std::snprintf(text, sizeof text, "transfer failed (status 0x%04X)", static_cast<unsigned>(status));
  return text;
}

}  // namespace

std::string WithDetail(const std::string& text, const std::string& detail) {
  return detail.empty() || text.empty() ? text : text + " (" + detail + ")";
}

std::string TransferFailureText(int status, const std::string& detail) {
  switch (status) {
    case HttpStatus::certificateUntrusted:
      return detail.empty() ? "certificate not trusted" : "certificate not trusted: " + detail;
    case HttpStatus::certificateOtherHost:
      return "certificate is for another host";
    case HttpStatus::certificateExpired:
      return "certificate expired";
    case HttpStatus::tlsFailed:
      return detail.empty() ? "secure connection failed" : "secure connection failed: " + detail;
    case HttpStatus::caFileUnusable:
      return detail.empty() ? "the CA file cannot be used" : detail;
    case HttpStatus::proxyRefused:
      return detail.empty() ? "the proxy refused the tunnel" : detail;
    default:
      return WithDetail(PlainFailureText(status), detail);
  }
}

}  // namespace hv::http

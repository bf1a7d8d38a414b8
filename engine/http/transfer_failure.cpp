#include "engine/http/transfer_failure.h"

#include <cstdio>

#include "engine/http/http_async_client.h"

namespace hv::http {

std::string TransferFailureText(int status) {
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

}  // namespace hv::http

#include "address_text.h"

namespace harvion {

std::string AddressFaultText(HvAddressFault fault) {
  switch (fault) {
    case HvAddressFault::none:
      return {};
    case HvAddressFault::noScheme:
      return "not a web address (it needs http:// or https:// in front)";
    case HvAddressFault::otherScheme:
      return "not a web address (only http: and https: addresses are)";
    case HvAddressFault::noHost:
      return "not a web address (it names no host)";
  }
  return {};
}

}  // namespace harvion

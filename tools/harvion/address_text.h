// Why a text is refused as a web location's address, in the words of the
// command line.
#pragma once

#include <string>

#include "harvion/web_address.h"

namespace harvion {

// "not a web address (...)"; empty for a fault of none.
std::string AddressFaultText(HvAddressFault fault);
// The reason address is refused; empty when it is a web address.
inline std::string AddressProblem(const std::string& address) {
  return AddressFaultText(WebAddressFault(address.c_str()));
}

}  // namespace harvion

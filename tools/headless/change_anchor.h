// The id of a page's entry in an agent's changes.html, so that other
// programs can open the report at that page ("changes.html#c-...").
#pragma once

#include <string>
#include <string_view>

namespace harvion {

// "c-" and the 16 lower-case hexadecimal digits of the 64-bit FNV-1a hash
// of the address's bytes: the same for an address in every program and run.
std::string ChangeAnchor(std::string_view address);

}  // namespace harvion

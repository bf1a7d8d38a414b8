// The messages between the browser extension and its host are flat JSON
// objects whose values are texts ({"type":"page","url":"...","title":"..."}).
// This reader takes exactly that shape, so a hostile message cannot nest
// or grow anything beyond the bytes it came in.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace hvhost {

// Member name -> value. String values are decoded; true, false, null and
// numbers keep their literal text.
using JsonMessage = std::map<std::string, std::string, std::less<>>;

// The object in text, or nullopt with error set: anything but one flat
// object (nested values, trailing bytes, bad escapes, raw control
// characters) is refused.
std::optional<JsonMessage> ParseJsonMessage(std::string_view text, std::string& error);

// The object as JSON text. Values are written as strings; bytes that are not
// valid UTF-8 are taken as Latin-1, which is how the program shows such text.
std::string WriteJsonMessage(const JsonMessage& message);

// The value of a member, empty when it is missing.
std::string_view Member(const JsonMessage& message, std::string_view name);

}  // namespace hvhost

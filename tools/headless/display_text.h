// Engine texts are bytes: page titles may be Latin-1. The terminal gets
// UTF-8, with control characters made visible.
#pragma once

#include <string>
#include <string_view>

namespace harvion {

bool IsUtf8(std::string_view text);
// UTF-8 as it is, anything else read as Latin-1.
std::string Utf8Text(std::string_view text);
// UTF-8 as it is, anything else read as Latin-1; control characters as \xNN.
std::string Printable(std::string_view text);
// Printable, in double quotes, with '"' and '\' escaped by a backslash.
std::string Quoted(std::string_view text);
// Quoted, with '/' escaped as well, as --in takes a folder name.
std::string QuotedFolderName(std::string_view text);

}  // namespace harvion

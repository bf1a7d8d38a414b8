// Reads one value from an INI-style profile file, such as an internet
// shortcut ("[InternetShortcut]" / "URL=...").
#pragma once

#include <cstddef>
#include <string>

namespace hv {

inline constexpr std::size_t kMaxProfileLine = 1 << 20;

// The value of `key` in `section`, or `defaultValue` when the file, the
// section or the key is missing. Section and key names are compared without
// regard to ASCII case; blanks around names and values are dropped, and a
// value in matching quotes loses them. Lines end in LF or CR LF; a line that
// starts with ';' is a comment. Lines longer than kMaxProfileLine bytes are
// skipped, so a hostile file cannot make the reader hold more than that.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

}  // namespace hv

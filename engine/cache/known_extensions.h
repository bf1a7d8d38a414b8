// The file extensions a stored copy may keep: every extension of the system's
// MIME table, each with its dot, run together in lower case. A page's
// extension is kept when it occurs anywhere in that string.
#pragma once

#include <string>

namespace hv::cache {

// The table's extensions: each line is a MIME type followed by extensions
// without dots; '#' starts a comment. ".com" is left out (a program, never a
// page) and ".vbx.ocx" added. A table that cannot be read or lists nothing
// gives the built-in list of common extensions instead. The extensions of
// stylesheets, scripts, fonts and modern pictures are added when missing.
std::string KnownExtensionsFrom(const std::string& mimeTable);

// The extension of a stylesheet, script, font or picture whose address
// carries a query or fragment ("site.css?v=3"): the path's own extension,
// in lower case, when it is one of those always added above, else empty. A
// browser reads a stored stylesheet or module only under its own extension.
std::string RequisiteExtension(const std::string& address);

// From the system's table, read once per process.
const std::string& KnownExtensions();

}  // namespace hv::cache

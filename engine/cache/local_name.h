// What a stored file's name may be. A name comes from the index file, which
// anyone can edit, and is joined to the agent's folder: only a plain name of
// that folder may ever be opened, written or deleted through it.
#pragma once

#include <string>

namespace hv::cache {

// A plain file name: not empty, not "." or "..", no '/' or NUL, at most 255 bytes.
bool IsLocalName(const std::string& name);

// A name the page store makes: "3S", six to eight lower-case hexadecimal
// digits (no leading zero past six), an extension of a dot and more.
// Garbage collection deletes nothing else.
bool IsStoredFileName(const std::string& name);

}  // namespace hv::cache

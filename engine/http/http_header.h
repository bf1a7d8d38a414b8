// The response fields of an HTTP header block: status line, length, type,
// title, realm, Last-Modified, Location, and the cookies it sets.
#pragma once

#include <functional>
#include <string>

class CPageDescr;

// Longest header block the transport accepts; a server that sends more
// without ending it is treated as broken.
constexpr std::size_t kMaxHttpHeader = 64 * 1024;

// The length of the header block at the start of text (end marker
// included), or 0 when it has not ended: the earlier of "\n\n" and
// "\r\n\r\n".
std::size_t FindHeaderEnd(const std::string& text);

// Writes the fields the block carries into page; the others keep their
// values. Field names count at the start of a line only, and of each field
// the first counts, except that every Set-Cookie value a line end closes
// goes to setCookie, in order.
// Values kept lose their control bytes (tab stays), so no hostile header
// reaches a later request or file; a Content-Length that is not a plain
// count fitting 32 bits counts as absent.
void ParseHttpHeader(const std::string& block, CPageDescr& page,
                     const std::function<void(const std::string&)>& setCookie);

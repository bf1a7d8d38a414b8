// Whether a link stays within the server, site or directory of the page it
// was found on; the retrieval's location limits are built on these.
#pragma once

namespace hv {

// In each, the first URL is the candidate link and the second the page.
// A null pointer is taken as empty text.

// Same host and port, letter case aside; a web address without a port has
// its scheme's default one (80 for http, 443 for https).
bool SameServer(const char* link, const char* page);

// The page's host ends with the link host's site: its last two labels for
// the generic top-level domains, its last three for the others (country
// domains with a second level such as ".co.uk"). When either host is an
// address (IPv4, or IPv6 in brackets), the two must be the same address.
bool SameSite(const char* link, const char* page);

// The page lies in the link's directory or below it.
bool SameDirectory(const char* link, const char* page);

// The link lies in the page's directory or below it, on the same server and
// scheme (http and https count as one): what "links within directory"
// follows.
bool InDirectoryOf(const char* link, const char* page);

}  // namespace hv

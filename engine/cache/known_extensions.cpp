#include "engine/cache/known_extensions.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace hv::cache {

namespace {

constexpr const char* kSystemTable = "/etc/mime.types";

// For systems without a MIME table.
constexpr const char* kBuiltIn[] = {
    "html", "htm",  "shtml", "txt", "css", "js",  "gif", "jpg", "jpeg", "jpe", "png", "bmp", "ico",
    "svg",  "tif",  "tiff",  "xbm", "pdf", "ps",  "zip", "gz",  "tar",  "mid", "wav", "au",  "aif",
    "aiff", "mp3",  "mpg",   "mpeg", "mov", "avi", "qt", "doc", "xls",  "ppt", "rtf", "class", "jar",
    "xml"};

// What a stored page needs beside it, whatever the system's table lists: a
// stylesheet, script, font or picture opened from the disk is read as the
// type its extension names.
constexpr const char* kRequisites[] = {"css", "js", "mjs", "woff", "woff2", "svg", "webp", "avif", "ico", "json"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

void Append(std::string& out, const std::string& extension) {
  const std::string dotted = "." + Lower(extension);
  if (dotted != ".com") out += dotted;
}

}  // namespace

std::string KnownExtensionsFrom(const std::string& mimeTable) {
  std::string out;
  bool listed = false;
  std::ifstream in(mimeTable);
  std::string line;
  while (in && std::getline(in, line)) {
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::string type, extension;
    if (!(fields >> type)) continue;
    while (fields >> extension) {
      Append(out, extension);
      listed = true;
    }
  }
  if (!listed)
    for (const char* extension : kBuiltIn) Append(out, extension);
  // Names are matched anywhere in the string, so one found already is there.
  for (const char* extension : kRequisites)
    if (out.find(std::string(".") + extension) == std::string::npos) Append(out, extension);
  return out + ".vbx.ocx";
}

std::string RequisiteExtension(const std::string& address) {
  const std::size_t query = address.find_first_of("?#");
  if (query == std::string::npos) return {};
  const std::string path = address.substr(0, query);
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
  const std::string extension = Lower(path.substr(dot + 1));
  for (const char* requisite : kRequisites)
    if (extension == requisite) return "." + extension;
  return {};
}

const std::string& KnownExtensions() {
  static const std::string known = KnownExtensionsFrom(kSystemTable);
  return known;
}

}  // namespace hv::cache

#include "support/site_builder.h"

#include <sys/time.h>

#include <filesystem>
#include <fstream>

namespace hvtest {

std::string SiteBuilder::Html(const Page& page) {
  std::string html = "<HTML><HEAD><TITLE>" + page.title + "</TITLE></HEAD>\n";
  if (!page.frames.empty()) {
    html += "<FRAMESET COLS=\"50%,50%\">\n";
    for (const std::string& frame : page.frames) html += "<FRAME SRC=\"" + frame + "\">\n";
    return html + "</FRAMESET></HTML>\n";
  }
  html += "<BODY><H1>" + page.title + "</H1>\n<P>" + page.text + "</P>\n";
  for (const std::string& link : page.links) html += "<P><A HREF=\"" + link + "\">to " + link + "</A></P>\n";
  for (const std::string& image : page.images) html += "<P><IMG SRC=\"" + image + "\" ALT=\"\"></P>\n";
  return html + "</BODY></HTML>\n";
}

std::string SiteBuilder::Gif() {
  static const unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00,
                                       0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x01, 0x00,
                                       0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
                                       0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
  return std::string(reinterpret_cast<const char*>(kGif), sizeof kGif);
}

bool SiteBuilder::Write(const std::string& path, const std::string& bytes) const {
  const std::filesystem::path full(Path(path));
  std::error_code error;
  std::filesystem::create_directories(full.parent_path(), error);
  {
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) return false;
  }
  return m_tDate == 0 || SetDate(path, m_tDate);
}

bool SiteBuilder::Remove(const std::string& path) const {
  std::error_code error;
  return std::filesystem::remove(Path(path), error);
}

bool SiteBuilder::SetDate(const std::string& path, std::time_t when) const {
  const timeval times[2] = {{when, 0}, {when, 0}};
  return ::utimes(Path(path).c_str(), times) == 0;
}

}  // namespace hvtest

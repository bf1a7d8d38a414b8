// Writes small web sites for nginx to serve: pages with links, frames and
// images, and the dates the server reports for them.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace hvtest {

class SiteBuilder {
 public:
  explicit SiteBuilder(std::string root) : m_root(std::move(root)) {}

  struct Page {
    explicit Page(std::string title, std::vector<std::string> links = {}, std::vector<std::string> images = {},
                  std::string text = {})
        : title(std::move(title)), links(std::move(links)), images(std::move(images)), text(std::move(text)) {}
    static Page Frameset(std::string title, std::vector<std::string> frames) {
      Page page(std::move(title));
      page.frames = std::move(frames);
      return page;
    }

    std::string title;
    std::vector<std::string> links;   // <A HREF>
    std::vector<std::string> images;  // <IMG SRC>
    std::string text;                 // more body text
    std::vector<std::string> frames;  // a frameset of these instead of a body
  };

  // The page's HTML.
  static std::string Html(const Page& page);
  // A small valid GIF.
  static std::string Gif();

  // Writes the file under the root, making its folders, dated at the
  // builder's date. False when it cannot be written.
  bool Write(const std::string& path, const std::string& bytes) const;
  bool WritePage(const std::string& path, const Page& page) const { return Write(path, Html(page)); }
  bool Remove(const std::string& path) const;
  // The file's modification time, which nginx reports as Last-Modified.
  bool SetDate(const std::string& path, std::time_t when) const;

  std::string Path(const std::string& path) const { return m_root + "/" + path; }
  const std::string& Root() const { return m_root; }

  // Files written from now on are dated so (0: now).
  std::time_t m_tDate = 0;

 private:
  std::string m_root;
};

}  // namespace hvtest

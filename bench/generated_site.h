// A generated site for the mirroring benchmarks: pages that link in a
// binary tree and across, or widely as documentation does, and images,
// written into a folder nginx serves.
#pragma once

#include <sys/time.h>

#include <ctime>
#include <string>
#include <vector>

#include "support/text_files.h"

namespace bench {

using hvtest::WriteText;

inline bool SetDate(const std::string& path, std::time_t when) {
  const timeval times[2] = {{when, 0}, {when, 0}};
  return ::utimes(path.c_str(), times) == 0;
}

// Pages in folders of 100, each carrying the marker PAGE-<n>, a changed one
// also CHANGED-<n>, and showing two images. In a tree each page links its
// two children in a binary tree (so all are reachable from the top), its
// parent and three others. A wide site is shaped like documentation: each
// page links the same eight top sections, its own eight children, its
// parent, and others up to 10-40 links, so a page hands over many links at
// once. Images are GIF-headed files of 1-4 KiB; pages are filled up to
// pageBytes plus up to pageSpread bytes.
class Site {
 public:
  enum class Shape { tree, wide };

  Site(std::string root, int pages, int images, std::size_t pageBytes = 2048, std::size_t pageSpread = 3072,
       Shape shape = Shape::tree)
      : m_root(std::move(root)),
        m_nPages(pages),
        m_nImages(images),
        m_pageBytes(pageBytes),
        m_pageSpread(pageSpread),
        m_shape(shape) {}

  static std::string PagePath(int i) {
    return i == 0 ? "index.html" : "s" + std::to_string(i / 100) + "/page" + std::to_string(i) + ".html";
  }
  static std::string ImagePath(int i) {
    return "img/i" + std::to_string(i / 100) + "/pic" + std::to_string(i) + ".gif";
  }

  bool Write() {
    for (int i = 0; i < m_nPages; ++i)
      if (!WritePage(i, false)) return false;
    for (int i = 0; i < m_nImages; ++i) {
      std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
      gif.resize(1024 + static_cast<std::size_t>(i) * 577 % 3072, static_cast<char>('a' + i % 26));
      if (!WriteText(Path(ImagePath(i)), gif) || !SetDate(Path(ImagePath(i)), kDate)) return false;
    }
    return true;
  }

  // Nine pages get new text dated later, two pages are removed; Restore undoes it.
  bool Change() {
    for (int i : Changed())
      if (!WritePage(i, true)) return false;
    for (int i : Removed()) std::remove(Path(PagePath(i)).c_str());
    return true;
  }
  bool Restore() {
    for (int i : Changed())
      if (!WritePage(i, false)) return false;
    for (int i : Removed())
      if (!WritePage(i, false)) return false;
    return true;
  }
  std::vector<int> Changed() const {
    std::vector<int> pages;
    for (int k = 1; k <= 9; ++k) pages.push_back(k * m_nPages / 11);
    return pages;
  }
  // Leaves of the tree, linked from their parent and a few others.
  std::vector<int> Removed() const { return {m_nPages - 1, m_nPages - 3}; }

  const std::string& Root() const { return m_root; }
  int Pages() const { return m_nPages; }
  int Images() const { return m_nImages; }

 private:
  static constexpr std::time_t kDate = 1700000000;  // well before any run

  std::string Path(const std::string& path) const { return m_root + "/" + path; }

  // The pages page i links, none of them itself.
  std::vector<int> Links(int i) const {
    std::vector<int> links;
    const auto add = [&](int link) {
      if (link >= 0 && link < m_nPages && link != i) links.push_back(link);
    };
    std::size_t count = 0;
    if (m_shape == Shape::tree) {
      for (int link : {2 * i + 1, 2 * i + 2, (i - 1) / 2}) add(link);
      count = links.size() + 3;
    } else {
      for (int k = 1; k <= 8; ++k) add(k);
      for (int k = 1; k <= 8; ++k) add(8 * i + k);
      add((i - 1) / 8);
      count = static_cast<std::size_t>(10 + i * 7919 % 31);
    }
    for (int k = 1; links.size() < count && k <= 40; ++k)
      add(static_cast<int>((static_cast<long>(i) * 7919 + k * 104729) % m_nPages));
    return links;
  }

  bool WritePage(int i, bool changed) const {
    std::string html = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>\n<h1>Page " +
                       std::to_string(i) + "</h1>\n<p>PAGE-" + std::to_string(i) + "</p>\n";
    if (changed) html += "<p>CHANGED-" + std::to_string(i) + "</p>\n";
    for (int link : Links(i))
      html += "<p><a href=\"/" + PagePath(link) + "\">Page " + std::to_string(link) + "</a></p>\n";
    for (int image : {i % m_nImages, (i * 3 + 1) % m_nImages})
      html += "<p><img src=\"/" + ImagePath(image) + "\" alt=\"\"></p>\n";
    const std::size_t size = m_pageBytes + static_cast<std::size_t>(i) * 7919 % m_pageSpread;
    static const std::string kFiller =
        "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt.</p>\n";
    while (html.size() < size) html += kFiller;
    html += "</body></html>\n";
    const std::string path = Path(PagePath(i));
    return WriteText(path, html) && SetDate(path, changed ? std::time(nullptr) + 120 : kDate);
  }

  std::string m_root;
  int m_nPages;
  int m_nImages;
  std::size_t m_pageBytes;
  std::size_t m_pageSpread;
  Shape m_shape;
};

}  // namespace bench

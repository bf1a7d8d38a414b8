#include "shell/drag_formats.h"

#include <QMimeData>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harvion/exports.h"
#include "harvion/global_memory.h"
#include "shell/ui_texts.h"

namespace hvui {
namespace {

// Anything bigger is no single link: refusing it early bounds the work.
constexpr qsizetype kMaxFormatBytes = 64 * 1024;
constexpr std::uintmax_t kMaxLinkFileBytes = 64 * 1024;
// The longest address the agent's cache takes.
constexpr std::size_t kMaxUrl = 4096;

// DROPFILES header, and FILEGROUPDESCRIPTOR: a count, then 332-byte items
// with the name (260 bytes with its zero) at offset 72.
constexpr qsizetype kDropFilesSize = 20;
constexpr qsizetype kDropWideFlagOffset = 16;
constexpr qsizetype kDescriptorItemSize = 332;
constexpr qsizetype kDescriptorNameOffset = 72;
constexpr std::size_t kDescriptorNameSize = 260;

constexpr std::string_view kShortcutSuffix = ".url";
constexpr std::string_view kDesktopSuffix = ".desktop";
// How the shell names a shortcut it makes; dropped shortcuts lose it.
constexpr std::string_view kShortcutPrefix = texts::kShortcutTo;

constexpr const char* kReadFormats[] = {
    kDropFilesMime, kUrlMime,         kNetscapeBookmarkMime, kFileGroupDescriptorMime,
    kMozUrlMime,    kNetscapeUrlMime, kUriListMime};

struct Link {
  std::string url;
  std::string name;
};

// What one format says about a drop: not there (ask the next), refused, or a link.
struct Step {
  enum Verdict { kNotOffered, kRefused, kFound } verdict = kNotOffered;
  Link link;
};

Step Refused() { return {Step::kRefused, {}}; }
Step Found(Link link) { return {Step::kFound, std::move(link)}; }

// Copies a block the engine handed out and frees it; empty for null.
QByteArray TakeBlock(HGLOBAL block) {
  if (!block) return {};
  QByteArray bytes;
  if (const void* at = GlobalLock(block)) {
    bytes = QByteArray(static_cast<const char*>(at), static_cast<qsizetype>(GlobalSize(block)));
    GlobalUnlock(block);
  }
  GlobalFree(block);
  return bytes;
}

QByteArray DropFilesBlock(const QByteArray& path) {
  HDROP drop = CreateHdrop();
  if (!drop) return {};
  HDROP grown = AppendFileToHdrop(drop, path.constData());
  if (!grown) {
    GlobalFree(drop);
    return {};
  }
  return TakeBlock(grown);
}

// The name's UTF-8 cut so that it and ".url" fit the descriptor, never
// inside a character.
QByteArray DescriptorFileName(const QString& name) {
  QByteArray bytes = name.toUtf8();
  const qsizetype room = static_cast<qsizetype>(kDescriptorNameSize - 1 - kShortcutSuffix.size());
  if (bytes.size() > room) {
    qsizetype cut = room;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.truncate(cut);
  }
  return bytes + QByteArray(kShortcutSuffix.data(), kShortcutSuffix.size());
}

QByteArray Utf16Le(const QString& text) {
  QByteArray bytes;
  bytes.reserve(text.size() * 2);
  for (const QChar c : text) {
    bytes.append(static_cast<char>(c.unicode() & 0xFF));
    bytes.append(static_cast<char>(c.unicode() >> 8));
  }
  return bytes;
}

std::uint32_t Uint32At(const QByteArray& bytes, qsizetype at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string Trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

std::string UpToZero(const QByteArray& bytes) {
  return std::string(bytes.constData(), strnlen(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const auto end = text.find('\n', start);
    std::string line(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

// Only what the agent's cache takes as a web address: http or https with a
// host.
bool IsWebUrl(std::string_view url) {
  std::size_t host = 0;
  for (const std::string_view scheme : {"http://", "https://"})
    if (StartsWithNoCase(url, scheme)) host = scheme.size();
  if (host == 0 || url.size() > kMaxUrl || url.size() <= host || url[host] == '/') return false;
  return std::none_of(url.begin(), url.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

// Names are bytes: shown as UTF-8 when they are, else as Latin-1.
QString DisplayText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return utf8.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())) : text;
}

std::string WithoutShortcutSuffix(std::string name) {
  if (EndsWithNoCase(name, kShortcutSuffix)) name.resize(name.size() - kShortcutSuffix.size());
  return name;
}

// Desktop entry values escape blanks and line breaks.
std::string Unescaped(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    constexpr std::string_view kEscaped = "sntr\\", kMeant = " \n\t\r\\";
    const auto at = kEscaped.find(value[++i]);
    if (at != std::string_view::npos) {
      out += kMeant[at];
    } else {
      out += '\\';
      out += value[i];
    }
  }
  return out;
}

// A freedesktop link: Type=Link in the "Desktop Entry" group, its URL and Name.
std::optional<Link> ReadDesktopLink(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line, type;
  Link link;
  bool inEntry = false;
  while (std::getline(in, line)) {
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] == '#') continue;
    if (text[0] == '[') {
      inEntry = text == "[Desktop Entry]";
      continue;
    }
    const auto equals = text.find('=');
    if (!inEntry || equals == std::string::npos) continue;
    const std::string key = Trimmed(std::string_view(text).substr(0, equals));
    const std::string value = Trimmed(std::string_view(text).substr(equals + 1));
    if (key == "Type")
      type = value;
    else if (key == "URL")
      link.url = Unescaped(value);
    else if (key == "Name")
      link.name = Unescaped(value);
  }
  if (type != "Link" || link.url.empty()) return std::nullopt;
  return link;
}

// A shortcut or desktop link file; nothing for what is neither, or for a
// file too big to be one (or no plain file: a pipe would block the reader).
std::optional<Link> ReadLinkFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file(path);
  if (!std::filesystem::is_regular_file(file, error) || std::filesystem::file_size(file, error) > kMaxLinkFileBytes ||
      error)
    return std::nullopt;
  if (EndsWithNoCase(path, kDesktopSuffix)) return ReadDesktopLink(file);
  std::string url;
  if (!GetUrl(path.c_str(), url)) return std::nullopt;
  return Link{url, WithoutShortcutSuffix(path.substr(path.rfind('/') + 1))};
}

// The paths of a dropped-file list, at most `limit` of them; nothing when
// the block is malformed.
std::optional<std::vector<std::string>> DropFilePaths(const QByteArray& block, std::size_t limit) {
  const qsizetype size = block.size();
  if (size <= kDropFilesSize) return std::nullopt;
  const qsizetype start = Uint32At(block, 0);
  const qsizetype unit = Uint32At(block, kDropWideFlagOffset) != 0 ? 2 : 1;
  if (start < kDropFilesSize || start >= size) return std::nullopt;
  const auto isZero = [&](qsizetype at) { return block[at] == 0 && (unit == 1 || block[at + 1] == 0); };
  std::vector<std::string> paths;
  for (qsizetype pos = start; paths.size() < limit;) {
    qsizetype end = pos;
    while (end + unit <= size && !isZero(end)) end += unit;
    if (end + unit > size) return std::nullopt;
    if (end == pos) break;
    const QByteArray entry = block.mid(pos, end - pos);
    if (unit == 1) {
      paths.push_back(entry.toStdString());
    } else {
      QString wide;
      for (qsizetype i = 0; i < entry.size(); i += 2)
        wide.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(entry[i]) |
                                                (static_cast<unsigned char>(entry[i + 1]) << 8))));
      paths.push_back(wide.toUtf8().toStdString());
    }
    pos = end + unit;
  }
  return paths;
}

// The file name of the descriptor's last item; nothing for a malformed block.
std::optional<std::string> DescriptorName(const QByteArray& block) {
  if (block.size() < 4) return std::nullopt;
  const std::uint32_t count = Uint32At(block, 0);
  if (count == 0 || count > static_cast<std::uint64_t>((block.size() - 4) / kDescriptorItemSize)) return std::nullopt;
  const char* name = block.constData() + 4 + (count - 1) * kDescriptorItemSize + kDescriptorNameOffset;
  return std::string(name, strnlen(name, kDescriptorNameSize));
}

std::vector<std::string> UriListEntries(const QByteArray& bytes) {
  std::vector<std::string> entries;
  for (const std::string& line : Lines(UpToZero(bytes))) {
    std::string entry = Trimmed(line);
    if (!entry.empty() && entry[0] != '#') entries.push_back(std::move(entry));
  }
  return entries;
}

// "url\ntitle": one link; more lines mean more links.
Step FromUrlAndTitle(std::vector<std::string> lines) {
  while (!lines.empty() && Trimmed(lines.back()).empty()) lines.pop_back();
  if (lines.empty() || lines.size() > 2) return Refused();
  return Found({Trimmed(lines[0]), lines.size() > 1 ? lines[1] : std::string()});
}

Step FromDropFiles(const QMimeData& data) {
  if (!data.hasFormat(kDropFilesMime)) return {};
  const auto paths = DropFilePaths(data.data(kDropFilesMime), 2);
  if (!paths || paths->size() != 1) return Refused();
  if (auto link = ReadLinkFile(paths->front())) return Found(std::move(*link));
  return {};
}

Step FromUrlText(const QMimeData& data) {
  const char* mime = data.hasFormat(kUrlMime) ? kUrlMime : kNetscapeBookmarkMime;
  if (!data.hasFormat(mime)) return {};
  Link link{Trimmed(UpToZero(data.data(mime))), {}};
  const auto descriptorName =
      data.hasFormat(kFileGroupDescriptorMime) ? DescriptorName(data.data(kFileGroupDescriptorMime)) : std::nullopt;
  if (descriptorName) {
    link.name = WithoutShortcutSuffix(*descriptorName);
    if (StartsWithNoCase(link.name, kShortcutPrefix)) link.name.erase(0, kShortcutPrefix.size());
  }
  return Found(std::move(link));
}

Step FromMozUrl(const QMimeData& data) {
  if (!data.hasFormat(kMozUrlMime)) return {};
  const QByteArray bytes = data.data(kMozUrlMime);
  if (bytes.size() % 2 != 0) return Refused();
  QString text;
  for (qsizetype i = 0; i < bytes.size(); i += 2)
    text.append(QChar(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8))));
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  if (const auto zero = text.indexOf(QChar(0)); zero >= 0) text.truncate(zero);
  return FromUrlAndTitle(Lines(text.toUtf8().toStdString()));
}

Step FromNetscapeUrl(const QMimeData& data) {
  if (!data.hasFormat(kNetscapeUrlMime)) return {};
  return FromUrlAndTitle(Lines(UpToZero(data.data(kNetscapeUrlMime))));
}

Step FromUriList(const QMimeData& data) {
  if (!data.hasFormat(kUriListMime)) return {};
  const auto entries = UriListEntries(data.data(kUriListMime));
  if (entries.size() != 1) return Refused();
  const std::string& entry = entries.front();
  if (!StartsWithNoCase(entry, "file:")) return Found({entry, entry});
  const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(entry));
  if (!url.isValid() || !(url.host().isEmpty() || url.host() == QLatin1String("localhost"))) return Refused();
  // File names are bytes: decode the path ourselves rather than through QString.
  const std::string path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toUtf8()).toStdString();
  if (!EndsWithNoCase(path, kShortcutSuffix) && !EndsWithNoCase(path, kDesktopSuffix)) return Refused();
  if (auto link = ReadLinkFile(path)) return Found(std::move(*link));
  return Refused();
}

DropOffer Accepted(Link link) {
  if (!IsWebUrl(link.url)) return {};
  CreateName(link.name);
  if (link.name.empty()) link.name = link.url;
  return {true, QByteArray::fromStdString(link.url), DisplayText(link.name)};
}

}  // namespace

QMimeData* MakePageDragData(const QString& name, const QByteArray& url) {
  auto data = std::make_unique<QMimeData>();
  if (const QByteArray files = DropFilesBlock(url); !files.isEmpty()) data->setData(kDropFilesMime, files);
  data->setData(kPlainTextMime, url);
  const QByteArray descriptor = TakeBlock(CreateClipboardFiledescriptor(DescriptorFileName(name).constData()));
  if (!descriptor.isEmpty()) {
    data->setData(kFileGroupDescriptorMime, descriptor);
    const QByteArray contents = "[InternetShortcut]\r\nURL=" + url + "\r\n";
    data->setData(kFileContentsMime, TakeBlock(CreateClipboardText(contents.constData())));
  }
  data->setData(kUrlMime, TakeBlock(CreateClipboardText(url.constData())));
  data->setData(kUriListMime, url + "\r\n");
  // A line break in the title would read as a second link.
  QString title = name;
  title.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  data->setData(kMozUrlMime, Utf16Le(QString::fromUtf8(url) + QLatin1Char('\n') + title));
  return data.release();
}

DropOffer ReadDrop(const QMimeData* data) {
  if (!data) return {};
  for (const char* mime : kReadFormats)
    if (data->hasFormat(mime) && data->data(mime).size() > kMaxFormatBytes) return {};
  // Several files or links add nothing, whichever format would be read.
  if (data->hasFormat(kUriListMime) && UriListEntries(data->data(kUriListMime)).size() > 1) return {};
  for (const auto step : {FromDropFiles, FromUrlText, FromMozUrl, FromNetscapeUrl, FromUriList}) {
    Step result = step(*data);
    if (result.verdict == Step::kRefused) return {};
    if (result.verdict == Step::kFound) return Accepted(std::move(result.link));
  }
  return {};
}

Qt::DropAction DropEffect(const QMimeData* data, bool fromThisTree, bool acceptingDrops) {
  if (!acceptingDrops || !data) return Qt::IgnoreAction;
  if (fromThisTree) return Qt::MoveAction;
  for (const char* mime : kReadFormats)
    if (mime != kFileGroupDescriptorMime && data->hasFormat(mime)) return Qt::CopyAction;
  const QStringList formats = data->formats();
  const bool text = std::any_of(formats.begin(), formats.end(),
                                [](const QString& f) { return f.startsWith(QLatin1String(kPlainTextMime)); });
  return text ? Qt::CopyAction : Qt::IgnoreAction;
}

}  // namespace hvui

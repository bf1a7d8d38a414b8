#include "platform/registry/registry_file.h"

#include <algorithm>
#include <cstdio>

#include "platform/registry/tree_builder.h"

namespace hv::reg::detail {

namespace {

constexpr std::string_view kRootName = "HKEY_CURRENT_USER";
constexpr std::string_view kSignature = "REGEDIT4";
constexpr std::string_view kLineEnd = "\r\n";
// Hex lists wrap so that no line, its trailing '\' included, is longer.
constexpr std::size_t kMaxLine = 80;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// 1 to 8 hex digits and nothing else.
bool ParseHexNumber(std::string_view s, std::uint32_t& out) {
  if (s.empty() || s.size() > 8) return false;
  std::uint32_t n = 0;
  for (char c : s) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    n = n << 4 | static_cast<std::uint32_t>(d);
  }
  out = n;
  return true;
}

// "xx,xx,..." with blanks allowed around the bytes; an empty list is valid,
// an empty item (a trailing comma of a cut-off list) is not.
bool ParseHexList(std::string_view s, std::vector<std::uint8_t>& out) {
  out.clear();
  s = Trim(s);
  if (s.empty()) return true;
  while (true) {
    const std::size_t comma = s.find(',');
    const std::string_view item = Trim(s.substr(0, comma));
    std::uint32_t byte = 0;
    if (item.size() > 2 || !ParseHexNumber(item, byte)) return false;
    out.push_back(static_cast<std::uint8_t>(byte));
    if (comma == std::string_view::npos) return true;
    s.remove_prefix(comma + 1);
  }
}

// A quoted string starting at s[pos]; pos ends past the closing quote. Only
// \\ and \" are escapes; any other backslash is kept, as hand-written paths
// ("C:\Temp") mean it literally.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  out.clear();
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
    } else if (c == '"') {
      pos = i + 1;
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

// The name of a value line and the position where its data starts.
bool ParseValueHead(std::string_view line, std::string& name, std::size_t& dataPos) {
  std::size_t pos = 0;
  if (line.starts_with('@')) {
    name.clear();
    pos = 1;
  } else if (!ParseQuoted(line, pos, name)) {
    return false;
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return false;
  ++pos;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  dataPos = pos;
  return true;
}

bool ParseData(std::string_view data, Value& value) {
  if (data.starts_with('"')) {
    std::size_t pos = 0;
    if (!ParseQuoted(data, pos, value.text) || pos != data.size()) return false;
    value.type = ValueType::kString;
    return true;
  }
  if (StartsWithNoCase(data, "dword:")) {
    value.type = ValueType::kDWord;
    return ParseHexNumber(Trim(data.substr(6)), value.dword);
  }
  if (StartsWithNoCase(data, "hex:")) {
    value.type = ValueType::kBinary;
    return ParseHexList(data.substr(4), value.bytes);
  }
  if (StartsWithNoCase(data, "hex(")) {
    const std::size_t close = data.find("):");
    std::uint32_t type = 0;
    if (close == std::string_view::npos || !ParseHexNumber(data.substr(4, close - 4), type) ||
        !ParseHexList(data.substr(close + 2), value.bytes)) {
      return false;
    }
    if (type == 1) {  // a string with bytes that cannot sit between quotes
      if (!value.bytes.empty() && value.bytes.back() == 0) value.bytes.pop_back();
      value.text.assign(value.bytes.begin(), value.bytes.end());
      value.bytes.clear();
      value.type = ValueType::kString;
    } else {
      value.type = ValueType::kOther;
      value.otherType = type;
    }
    return true;
  }
  return false;
}

// A wrapped line of a hex list: hex digits, commas and blanks, perhaps a
// final '\'. Anything else ends the list, so a cut-off list cannot swallow
// the value lines after it.
bool IsHexContinuation(std::string_view t) {
  if (t.ends_with('\\')) t.remove_suffix(1);
  bool digit = false;
  for (char c : t) {
    if (HexDigit(c) >= 0) {
      digit = true;
    } else if (c != ',' && !IsBlank(c)) {
      return false;
    }
  }
  return digit;
}

enum class HeaderKind { kNone, kOurs, kForeign };

// Whether a trimmed line opens a section. A line that looks like a broken
// header opens a foreign section, so that the values under it are not taken
// for values of the key before it.
HeaderKind ClassifyHeader(std::string_view t, Path& path) {
  if (!t.starts_with('[')) return HeaderKind::kNone;
  if (t.size() < 2 || !t.ends_with(']')) {
    return StartsWithNoCase(t, "[HKEY") || t.starts_with("[-") ? HeaderKind::kForeign
                                                                : HeaderKind::kNone;
  }
  std::string_view inner = t.substr(1, t.size() - 2);
  if (inner.starts_with('-')) return HeaderKind::kForeign;  // deletions are not ours to apply
  inner = TrimLeft(inner);
  const std::size_t sep = inner.find('\\');
  if (!EqualNoCase(inner.substr(0, sep), kRootName)) return HeaderKind::kForeign;
  path = sep == std::string_view::npos ? Path{} : SplitPath(inner.substr(sep + 1));
  // Deeper keys stay as written: nothing we write goes that deep, and each
  // level would cost a header holding the whole path.
  return path.size() <= kMaxKeyDepth ? HeaderKind::kOurs : HeaderKind::kForeign;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return lines;
}

void AppendEscaped(std::string& out, std::string_view s) {
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
}

void AppendHexList(std::string& out, std::string line, const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  bool lineHasBytes = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    // Room for "xx," and the '\' that would end the line.
    if (lineHasBytes && line.size() + 4 > kMaxLine) {
      out += line;
      out += '\\';
      out += kLineEnd;
      line = "  ";
    }
    line += kDigits[bytes[i] >> 4];
    line += kDigits[bytes[i] & 15];
    if (i + 1 < bytes.size()) line += ',';
    lineHasBytes = true;
  }
  out += line;
  out += kLineEnd;
}

void AppendValue(std::string& out, const Value& v) {
  std::string head;
  if (v.name.empty()) {
    head = "@=";
  } else {
    head = "\"";
    AppendEscaped(head, v.name);
    head += "\"=";
  }
  switch (v.type) {
    case ValueType::kString: {
      const bool control = std::any_of(v.text.begin(), v.text.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
      if (control) {
        std::vector<std::uint8_t> bytes(v.text.begin(), v.text.end());
        bytes.push_back(0);
        AppendHexList(out, head + "hex(1):", bytes);
        return;
      }
      out += head;
      out += '"';
      AppendEscaped(out, v.text);
      out += '"';
      break;
    }
    case ValueType::kDWord: {
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(v.dword));
      out += head + "dword:" + digits;
      break;
    }
    case ValueType::kBinary:
      AppendHexList(out, head + "hex:", v.bytes);
      return;
    case ValueType::kOther: {
      char type[16];
      std::snprintf(type, sizeof type, "hex(%x):", v.otherType);
      AppendHexList(out, head + type, v.bytes);
      return;
    }
  }
  out += kLineEnd;
}

void AppendSection(std::string& out, const std::string& path, const Key& key) {
  out += '[';
  out += path;
  out += ']';
  out += kLineEnd;
  for (const Entry& e : key.entries) {
    if (e.raw) {
      out += e.line;
      out += kLineEnd;
      // A blank line ends a wrapped list: the line after this one, perhaps
      // once separated from it by a value deleted since, must not join it.
      if (Trim(e.line).ends_with('\\')) out += kLineEnd;
    } else {
      AppendValue(out, e.value);
    }
  }
  out += kLineEnd;
}

// The root's subtree depth first, each key under its full path, stopping
// once the text is longer than the limit. False then.
bool AppendTree(std::string& out, const Key& root, std::size_t limit) {
  struct Level {
    const Key* key;
    std::size_t next;      // the subkey to write next
    std::size_t pathSize;  // the length of this key's path
  };
  std::string path(kRootName);
  std::vector<Level> levels{{&root, 0, path.size()}};
  while (!levels.empty() && out.size() <= limit) {
    Level& level = levels.back();
    if (level.next == level.key->subkeys.size()) {
      levels.pop_back();
      continue;
    }
    const Key& sub = level.key->subkeys[level.next++];
    path.resize(level.pathSize);
    path += '\\';
    path += sub.name;
    AppendSection(out, path, sub);
    levels.push_back({&sub, 0, path.size()});
  }
  return out.size() <= limit;
}

// Replaces an existing value of the same name in place, keeping its spelling.
bool PutValue(Key& key, Value value) {
  for (Entry& e : key.entries) {
    if (e.raw || !EqualNoCase(e.value.name, value.name)) continue;
    if (e.value.SameData(value)) return false;
    value.name = std::move(e.value.name);
    e.value = std::move(value);
    return true;
  }
  key.entries.push_back(Entry{false, {}, std::move(value)});
  return true;
}

}  // namespace

bool Value::SameData(const Value& other) const {
  if (type != other.type) return false;
  switch (type) {
    case ValueType::kString: return text == other.text;
    case ValueType::kDWord: return dword == other.dword;
    case ValueType::kBinary: return bytes == other.bytes;
    case ValueType::kOther: return otherType == other.otherType && bytes == other.bytes;
  }
  return false;
}

Key::~Key() {
  // Each key taken off the list hands its subkeys to the list first, so the
  // destructors called here find no subkeys of their own.
  std::vector<Key> pending = std::move(subkeys);
  while (!pending.empty()) {
    Key last = std::move(pending.back());
    pending.pop_back();
    for (Key& sub : last.subkeys) pending.push_back(std::move(sub));
  }
}

Key* Key::SubKey(std::string_view subName) {
  for (Key& k : subkeys)
    if (EqualNoCase(k.name, subName)) return &k;
  return nullptr;
}

const Key* Key::SubKey(std::string_view subName) const { return const_cast<Key*>(this)->SubKey(subName); }

const Value* Key::FindValue(std::string_view valueName) const {
  for (const Entry& e : entries)
    if (!e.raw && EqualNoCase(e.value.name, valueName)) return &e.value;
  return nullptr;
}

Path SplitPath(std::string_view path) {
  Path parts;
  while (true) {
    const std::size_t sep = path.find('\\');
    if (std::string_view part = path.substr(0, sep); !part.empty()) parts.emplace_back(part);
    if (sep == std::string_view::npos) return parts;
    path.remove_prefix(sep + 1);
  }
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

Document Document::Parse(std::string_view text) {
  Document doc;
  enum class Section { kPreamble, kOurs, kForeign } section = Section::kPreamble;
  TreeBuilder tree;
  TreeBuilder::Node key = TreeBuilder::kRoot;  // of the last header of ours
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 mark from an editor
  const std::vector<std::string_view> lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::string_view t = Trim(line);
    if (t.empty()) continue;

    Path path;
    if (const HeaderKind header = ClassifyHeader(t, path); header == HeaderKind::kOurs) {
      key = tree.Create(path);
      section = Section::kOurs;
      continue;
    } else if (header == HeaderKind::kForeign) {
      doc.m_foreign.push_back({std::string(line)});
      section = Section::kForeign;
      continue;
    }

    if (section == Section::kForeign) {
      doc.m_foreign.back().emplace_back(line);
      continue;
    }
    if (section == Section::kPreamble) {
      if (t != kSignature) doc.m_preamble.emplace_back(line);  // we write our own
      continue;
    }

    // A value line of our key, perhaps wrapped over several lines.
    std::string logical(t);
    std::size_t last = i;
    Value value;
    std::size_t dataPos = 0;
    bool ok = !t.starts_with(';') && ParseValueHead(t, value.name, dataPos);
    if (ok && StartsWithNoCase(t.substr(dataPos), "hex")) {
      while (logical.ends_with('\\') && last + 1 < lines.size() && IsHexContinuation(Trim(lines[last + 1]))) {
        logical.pop_back();
        logical += Trim(lines[++last]);
      }
    }
    ok = ok && ParseData(std::string_view(logical).substr(dataPos), value);
    if (ok) {
      tree.PutValue(key, std::move(value));  // a repeated name: the last one wins
    } else {
      for (std::size_t j = i; j <= last; ++j) tree.AddRawLine(key, std::string(lines[j]));
    }
    i = last;
  }
  doc.m_root = tree.Build();
  return doc;
}

std::optional<std::string> Document::Serialize(std::size_t limit) const {
  std::string out(kSignature);
  out += kLineEnd;
  out += kLineEnd;
  if (!m_preamble.empty()) {
    for (const std::string& line : m_preamble) out += line + std::string(kLineEnd);
    out += kLineEnd;
  }
  if (!m_root.entries.empty()) AppendSection(out, std::string(kRootName), m_root);
  if (!AppendTree(out, m_root, limit)) return std::nullopt;
  for (const std::vector<std::string>& section : m_foreign) {
    for (const std::string& line : section) {
      out += line;
      out += kLineEnd;
    }
    out += kLineEnd;
    if (out.size() > limit) return std::nullopt;
  }
  return out;
}

const Key* Document::Find(const Path& path) const {
  // Only the look-up index changes, and the store reads under its lock.
  return const_cast<Document*>(this)->FindMutable(path);
}

Key* Document::FindMutable(const Path& path) {
  Key* key = &m_root;
  for (const std::string& name : path)
    if (!(key = m_lookup.Child(*key, name))) return nullptr;
  return key;
}

Key* Document::Create(const Path& path, bool& created) {
  Key* key = &m_root;
  for (const std::string& name : path) {
    Key* sub = m_lookup.Child(*key, name);
    if (!sub) {
      key->subkeys.emplace_back(name);
      sub = &key->subkeys.back();
      created = true;
      m_lookup.Clear();  // the subkeys may have moved
    }
    key = sub;
  }
  return key;
}

bool Document::CreateKey(const Path& path) {
  bool created = false;
  Create(path, created);
  return created;
}

bool Document::SetValue(const Path& path, Value value) {
  bool created = false;
  Key* key = Create(path, created);
  return PutValue(*key, std::move(value)) || created;
}

bool Document::DeleteValue(const Path& path, std::string_view name) {
  bool created = false;
  Key* key = Create(path, created);
  const auto removed = std::erase_if(key->entries, [&](const Entry& e) {
    return !e.raw && EqualNoCase(e.value.name, name);
  });
  return removed > 0 || created;
}

bool Document::DeleteKey(const Path& path) {
  if (path.empty()) return false;
  Key* parent = FindMutable(Path(path.begin(), path.end() - 1));
  if (!parent) return false;
  m_lookup.Clear();
  return std::erase_if(parent->subkeys, [&](const Key& k) { return EqualNoCase(k.name, path.back()); }) > 0;
}

bool Document::DeleteSubKeys(const Path& path) {
  Key* key = FindMutable(path);
  if (!key || key->subkeys.empty()) return false;
  m_lookup.Clear();
  key->subkeys.clear();
  return true;
}

}  // namespace hv::reg::detail

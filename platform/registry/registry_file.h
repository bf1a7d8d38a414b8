// The text form of the settings store and the tree it holds in memory.
// Parsing never fails: what cannot be read is kept as raw lines and written
// back as it was, so a hand-edited or damaged file loses nothing on the next
// write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry/key_lookup.h"

namespace hv::reg::detail {

enum class ValueType { kString, kDWord, kBinary, kOther };

struct Value {
  std::string name;
  ValueType type = ValueType::kString;
  std::string text;                 // kString
  std::uint32_t dword = 0;          // kDWord
  std::vector<std::uint8_t> bytes;  // kBinary, kOther
  unsigned otherType = 0;           // kOther: the N of "hex(N):", kept to write it back

  bool SameData(const Value& other) const;
};

// One line of a key's section: a value, or a line that could not be read.
struct Entry {
  bool raw = false;
  std::string line;  // raw only, without its line end
  Value value;       // not raw only
};

struct Key {
  std::string name;
  std::vector<Entry> entries;
  std::vector<Key> subkeys;  // creation order

  Key() = default;
  explicit Key(std::string keyName) : name(std::move(keyName)) {}
  Key(const Key&) = default;
  Key(Key&&) noexcept = default;
  Key& operator=(const Key&) = default;
  Key& operator=(Key&&) noexcept = default;
  // Frees the subtree with a loop of its own, so no key chain, however deep,
  // can exhaust the stack.
  ~Key();

  Key* SubKey(std::string_view subName);
  const Key* SubKey(std::string_view subName) const;
  const Value* FindValue(std::string_view valueName) const;
};

using Path = std::vector<std::string>;

// The deepest key path read or written. Our own deepest keys are six levels
// (the base key, a list and an item); the bound leaves ten times that, and
// keeps the full path every section header repeats small.
constexpr std::size_t kMaxKeyDepth = 64;

// "A\B\C" into its names; empty names (doubled or outer separators) are dropped.
Path SplitPath(std::string_view path);
bool EqualNoCase(std::string_view a, std::string_view b);

class Document {
 public:
  static Document Parse(std::string_view text);
  // REGEDIT4 text with CR LF line ends; none when it would be longer than
  // the limit (the writer stops as soon as it is).
  std::optional<std::string> Serialize(std::size_t limit) const;

  // The empty path is the root (HKEY_CURRENT_USER itself), which always exists.
  const Key* Find(const Path& path) const;

  // Each returns whether the document changed.
  bool CreateKey(const Path& path);
  bool SetValue(const Path& path, Value value);
  // Creates the key when missing.
  bool DeleteValue(const Path& path, std::string_view name);
  // The root cannot be deleted: the empty path changes nothing.
  bool DeleteKey(const Path& path);
  bool DeleteSubKeys(const Path& path);

 private:
  Key* FindMutable(const Path& path);
  Key* Create(const Path& path, bool& created);

  Key m_root;
  KeyLookup m_lookup;
  // Unreadable lines before the first key.
  std::vector<std::string> m_preamble;
  // Sections we do not own (other hives, deletion headers, broken headers,
  // keys nested deeper than we read), each starting with its header line; written back after our keys.
  std::vector<std::vector<std::string>> m_foreign;
};

}  // namespace hv::reg::detail

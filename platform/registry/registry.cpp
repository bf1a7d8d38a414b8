#include "platform/registry/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/files/file_system.h"
#include "platform/home.h"
#include "platform/registry/file_lock.h"
#include "platform/registry/registry_file.h"

namespace hv::reg {

namespace {

using detail::Document;
using detail::Path;
using detail::SplitPath;
using detail::Value;
using detail::ValueType;

// What identifies one version of the file: a rename brings a new inode, an
// edit in place a new size or modification time.
struct Stamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  time_t mtimeSec = 0;
  long mtimeNsec = 0;

  bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const struct stat& st) {
  return Stamp{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// The largest store we read or write: far beyond any real settings, small
// enough that a file grown wild cannot take the memory of every process.
constexpr std::size_t kMaxStoreBytes = std::size_t{64} << 20;

// False on a read error, or when the file holds more than kMaxStoreBytes
// (it may grow while we read).
bool ReadAll(int fd, std::string& text) {
  text.clear();
  return fs::ReadAtMost(fd, kMaxStoreBytes, text);
}

// The parsed file, shared by all threads of the process and re-read only
// when the file on disk is another one than last time.
class Store {
 public:
  template <typename Reader>
  bool Read(Reader&& reader) {
    std::lock_guard guard(m_mutex);
    const Document* doc = Current(StorePath());
    return doc && reader(*doc);
  }

  // change returns whether it altered the document; nothing is written then.
  template <typename Change>
  bool Modify(Change&& change) {
    std::lock_guard guard(m_mutex);
    const std::string path = StorePath();
    if (path.empty()) {
      Current(path);  // notes why; nothing is written without a folder
      return false;
    }
    const detail::FileLock lock(path + ".lock");
    if (!lock.Held()) return false;
    const Document* current = Current(path);
    if (!current) return false;  // never replace a file we could not read
    Document doc = *current;
    if (!change(doc)) return true;
    const std::optional<std::string> text = doc.Serialize(kMaxStoreBytes);
    // Readers see the old file or the new one and never a part of either.
    if (!text || !fs::ReplaceWithPrivateFile(path, *text)) return false;
    struct stat st {};
    m_valid = ::stat(path.c_str(), &st) == 0;
    if (m_valid) {
      m_stamp = StampOf(st);
      m_doc = std::move(doc);
    }
    return true;
  }

  std::string Problem() {
    std::lock_guard guard(m_mutex);
    return m_problem;
  }

 private:
  // Null when the file exists but cannot be read; m_problem says why.
  const Document* Current(const std::string& path) {
    if (path.empty()) {
      m_valid = false;
      m_problem = HomeProblem() + "; the default settings are in use";
      return nullptr;
    }
    struct stat st {};
    // The type first, through any link: a FIFO would block the open, a
    // device would never end.
    if (::stat(path.c_str(), &st) != 0)
      return errno == ENOENT ? Remember(path, Stamp{}, {}) : Refuse(path, "cannot be read");
    if (!S_ISREG(st.st_mode)) return Refuse(path, "is not a regular file");
    if (static_cast<std::uint64_t>(st.st_size) > kMaxStoreBytes) return Refuse(path, "is larger than 64 MiB");
    if (m_valid && m_path == path && m_stamp == StampOf(st)) return &m_doc;

    // Non-blocking, in case a FIFO took the file's place since.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Remember(path, Stamp{}, {}) : Refuse(path, "cannot be read");
    // The stamp of the descriptor we read, not of the path: a rename in
    // between only makes the next call read again.
    const char* problem = nullptr;
    std::string text;
    if (::fstat(fd, &st) != 0) {
      problem = "cannot be read";
    } else if (!S_ISREG(st.st_mode)) {
      problem = "is not a regular file";
    } else {
      // It holds passwords: others lose their access once we see it. Only
      // the store's own file: a link's target is not ours to change.
      struct stat named {};
      if ((st.st_mode & 07777 & ~0600) != 0 && ::lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
          named.st_dev == st.st_dev && named.st_ino == st.st_ino)
        ::fchmod(fd, 0600);
      if (!ReadAll(fd, text)) problem = text.size() > kMaxStoreBytes ? "is larger than 64 MiB" : "cannot be read";
    }
    ::close(fd);
    if (problem) return Refuse(path, problem);
    return Remember(path, StampOf(st), Document::Parse(text));
  }

  const Document* Refuse(const std::string& path, const char* problem) {
    m_valid = false;
    m_problem = "the settings file " + path + " " + problem + "; the default settings are in use";
    return nullptr;
  }

  const Document* Remember(const std::string& path, const Stamp& stamp, Document doc) {
    m_problem.clear();
    m_valid = true;
    m_path = path;
    m_stamp = stamp;
    m_doc = std::move(doc);
    return &m_doc;
  }

  std::mutex m_mutex;
  std::string m_problem;  // why the file was refused last time, else empty
  bool m_valid = false;
  std::string m_path;
  Stamp m_stamp;
  Document m_doc;
};

Store& TheStore() {
  static Store store;
  return store;
}

bool WritableName(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

// Deeper keys would not be read back.
bool WritableKey(const std::string& key) { return WritableName(key) && SplitPath(key).size() <= detail::kMaxKeyDepth; }

const Value* Lookup(const Document& doc, const std::string& key, const std::string& name, ValueType type) {
  const detail::Key* k = doc.Find(SplitPath(key));
  const Value* v = k ? k->FindValue(name) : nullptr;
  return v && v->type == type ? v : nullptr;
}

bool StringOf(const Document& doc, const std::string& key, const std::string& name, std::string& out) {
  const Value* v = Lookup(doc, key, name, ValueType::kString);
  if (v) out = v->text;
  return v;
}

bool DWordOf(const Document& doc, const std::string& key, const std::string& name, std::uint32_t& out) {
  const Value* v = Lookup(doc, key, name, ValueType::kDWord);
  if (v) out = v->dword;
  return v;
}

bool BinaryOf(const Document& doc, const std::string& key, const std::string& name, std::vector<std::uint8_t>& out) {
  const Value* v = Lookup(doc, key, name, ValueType::kBinary);
  if (v) out = v->bytes;
  return v;
}

std::vector<std::string> SubKeysOf(const Document& doc, const std::string& key) {
  std::vector<std::string> names;
  if (const detail::Key* k = doc.Find(SplitPath(key)))
    for (const detail::Key& sub : k->subkeys) names.push_back(sub.name);
  return names;
}

Value MakeString(const std::string& name, const std::string& text) {
  Value v;
  v.name = name;
  v.type = ValueType::kString;
  v.text = text;
  return v;
}

Value MakeDWord(const std::string& name, std::uint32_t dword) {
  Value v;
  v.name = name;
  v.type = ValueType::kDWord;
  v.dword = dword;
  return v;
}

Value MakeBinary(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  Value v;
  v.name = name;
  v.type = ValueType::kBinary;
  v.bytes = bytes;
  return v;
}

// The tree Edit hands out: the document read under the lock.
class DocumentTree final : public Tree {
 public:
  explicit DocumentTree(Document& doc) : m_doc(doc) {}
  bool Changed() const { return m_changed; }

  bool ReadString(const std::string& key, const std::string& name, std::string& out) const override {
    return StringOf(m_doc, key, name, out);
  }
  bool ReadDWord(const std::string& key, const std::string& name, std::uint32_t& out) const override {
    return DWordOf(m_doc, key, name, out);
  }
  bool ReadBinary(const std::string& key, const std::string& name, std::vector<std::uint8_t>& out) const override {
    return BinaryOf(m_doc, key, name, out);
  }
  bool KeyExists(const std::string& key) const override { return m_doc.Find(SplitPath(key)) != nullptr; }
  std::vector<std::string> SubKeys(const std::string& key) const override { return SubKeysOf(m_doc, key); }

  void CreateKey(const std::string& key) override {
    if (WritableKey(key)) m_changed |= m_doc.CreateKey(SplitPath(key));
  }
  void WriteString(const std::string& key, const std::string& name, const std::string& value) override {
    Set(key, MakeString(name, value));
  }
  void WriteDWord(const std::string& key, const std::string& name, std::uint32_t value) override {
    Set(key, MakeDWord(name, value));
  }
  void WriteBinary(const std::string& key, const std::string& name, const std::vector<std::uint8_t>& value) override {
    Set(key, MakeBinary(name, value));
  }
  void DeleteValue(const std::string& key, const std::string& name) override {
    if (WritableKey(key) && WritableName(name)) m_changed |= m_doc.DeleteValue(SplitPath(key), name);
  }
  void DeleteKey(const std::string& key) override { m_changed |= m_doc.DeleteKey(SplitPath(key)); }
  void DeleteSubKeys(const std::string& key) override { m_changed |= m_doc.DeleteSubKeys(SplitPath(key)); }

 private:
  void Set(const std::string& key, Value value) {
    if (WritableKey(key) && WritableName(value.name)) m_changed |= m_doc.SetValue(SplitPath(key), std::move(value));
  }

  Document& m_doc;
  bool m_changed = false;
};

bool SetValue(const std::string& key, Value value) {
  if (!WritableKey(key) || !WritableName(value.name)) return false;
  const Path path = SplitPath(key);
  return TheStore().Modify([&](Document& doc) { return doc.SetValue(path, value); });
}

}  // namespace

std::string StorePath() {
  const std::string home = HomeDirectory();
  return home.empty() ? std::string() : fs::JoinPath(home, "registry.reg");
}

bool ReadString(const std::string& key, const std::string& name, std::string& out) {
  return TheStore().Read([&](const Document& doc) { return StringOf(doc, key, name, out); });
}

bool ReadDWord(const std::string& key, const std::string& name, std::uint32_t& out) {
  return TheStore().Read([&](const Document& doc) { return DWordOf(doc, key, name, out); });
}

bool ReadBinary(const std::string& key, const std::string& name, std::vector<std::uint8_t>& out) {
  return TheStore().Read([&](const Document& doc) { return BinaryOf(doc, key, name, out); });
}

bool KeyExists(const std::string& key) {
  return TheStore().Read([&](const Document& doc) { return doc.Find(SplitPath(key)) != nullptr; });
}

std::vector<std::string> SubKeys(const std::string& key) {
  std::vector<std::string> names;
  TheStore().Read([&](const Document& doc) {
    names = SubKeysOf(doc, key);
    return true;
  });
  return names;
}

bool WriteString(const std::string& key, const std::string& name, const std::string& value) {
  return SetValue(key, MakeString(name, value));
}

bool WriteDWord(const std::string& key, const std::string& name, std::uint32_t value) {
  return SetValue(key, MakeDWord(name, value));
}

bool WriteBinary(const std::string& key, const std::string& name, const std::vector<std::uint8_t>& value) {
  return SetValue(key, MakeBinary(name, value));
}

bool CreateKey(const std::string& key) {
  if (!WritableKey(key)) return false;
  return TheStore().Modify([&](Document& doc) { return doc.CreateKey(SplitPath(key)); });
}

bool DeleteValue(const std::string& key, const std::string& name) {
  if (!WritableKey(key) || !WritableName(name)) return false;
  return TheStore().Modify([&](Document& doc) { return doc.DeleteValue(SplitPath(key), name); });
}

bool DeleteKey(const std::string& key) {
  const Path path = SplitPath(key);
  if (path.empty()) return false;
  return TheStore().Modify([&](Document& doc) { return doc.DeleteKey(path); });
}

bool DeleteSubKeys(const std::string& key) {
  return TheStore().Modify([&](Document& doc) { return doc.DeleteSubKeys(SplitPath(key)); });
}

bool View(const std::function<void(const Tree&)>& reader) {
  return TheStore().Read([&](const Document& doc) {
    // Handed out as const only, so nothing can change the shared tree.
    const DocumentTree tree(const_cast<Document&>(doc));
    reader(tree);
    return true;
  });
}

std::string StoreProblem() { return TheStore().Problem(); }

bool Edit(const std::function<void(Tree&)>& editor) {
  return TheStore().Modify([&](Document& doc) {
    DocumentTree tree(doc);
    editor(tree);
    return tree.Changed();
  });
}

}  // namespace hv::reg

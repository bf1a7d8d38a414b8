// The per-user settings store: a tree of keys holding named values, kept as
// one REGEDIT4 text file. Several of our processes (the desktop program and
// the scheduler) use it at once, so every operation reads the newest file
// and every change is a locked read-modify-write replaced by rename. Lines
// of the file that cannot be read (hand edits, damage) read as absent and
// are written back unchanged.
//
// Key paths are relative to HKEY_CURRENT_USER and use '\' between names
// ("Software\Tessarine\Harvion Plugin\3.0\Proxy"). Key and value names are
// matched without regard to ASCII case and keep the case they were created
// with. The empty value name is the key's default value. Subkeys enumerate
// in creation order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hv::reg {

// The store file: $HARVION_HOME/registry.reg; empty when there is no
// Harvion folder (every read then sees an empty store, every write fails).
std::string StorePath();

// Readers: false (and the output untouched or empty) when the key or value
// is missing, has another type, or the file cannot be read.
bool ReadString(const std::string& key, const std::string& name, std::string& out);
bool ReadDWord(const std::string& key, const std::string& name, std::uint32_t& out);
bool ReadBinary(const std::string& key, const std::string& name, std::vector<std::uint8_t>& out);

bool KeyExists(const std::string& key);
// Names of the direct subkeys, in creation order; empty when the key is missing.
std::vector<std::string> SubKeys(const std::string& key);

// Writers create the key (and its parents) when needed and replace a value of
// the same name whatever its type. False when the store cannot be written;
// the file on disk is then unchanged. Key and value names holding CR or LF
// cannot be written to a line, keys more than 64 levels deep are not read
// back, and a store that would grow past 64 MiB is not written: all refused
// with false.
bool WriteString(const std::string& key, const std::string& name, const std::string& value);
bool WriteDWord(const std::string& key, const std::string& name, std::uint32_t value);
bool WriteBinary(const std::string& key, const std::string& name, const std::vector<std::uint8_t>& value);
bool CreateKey(const std::string& key);
// Creates the key when needed, then removes the value (absent is success).
bool DeleteValue(const std::string& key, const std::string& name);
// Removes the key with everything below it (absent is success). The root
// (the empty path) cannot be deleted: false.
bool DeleteKey(const std::string& key);
// Removes every subkey of the key with everything below them; the key and
// its own values stay.
bool DeleteSubKeys(const std::string& key);

// Why the store file was refused when last looked at (not a regular file,
// larger than 64 MiB, unreadable), else empty. Readers then see an empty
// store and writers change nothing.
std::string StoreProblem();

class Tree;
// One consistent look at the whole store: the reader gets the tree as last
// written (empty when the file is missing). False, with no call, when the
// file cannot be read. The reader must not call the functions here.
bool View(const std::function<void(const Tree&)>& reader);

// One locked read-modify-write for several changes at once: the editor
// receives the current tree and its changes are written in one replacement
// (none when nothing changed). An exception from the editor passes on and
// leaves the file untouched. The editor must use the Tree only: the
// functions above would wait for the lock Edit holds.
bool Edit(const std::function<void(Tree&)>& editor);

// The in-memory form of the store, as Edit hands it out. Same meaning as the
// functions above; changes with unwritable names are ignored.
class Tree {
 public:
  virtual ~Tree() = default;
  virtual bool ReadString(const std::string& key, const std::string& name, std::string& out) const = 0;
  virtual bool ReadDWord(const std::string& key, const std::string& name, std::uint32_t& out) const = 0;
  virtual bool ReadBinary(const std::string& key, const std::string& name,
                          std::vector<std::uint8_t>& out) const = 0;
  virtual bool KeyExists(const std::string& key) const = 0;
  virtual std::vector<std::string> SubKeys(const std::string& key) const = 0;
  virtual void CreateKey(const std::string& key) = 0;
  virtual void WriteString(const std::string& key, const std::string& name, const std::string& value) = 0;
  virtual void WriteDWord(const std::string& key, const std::string& name, std::uint32_t value) = 0;
  virtual void WriteBinary(const std::string& key, const std::string& name,
                           const std::vector<std::uint8_t>& value) = 0;
  virtual void DeleteValue(const std::string& key, const std::string& name) = 0;
  virtual void DeleteKey(const std::string& key) = 0;
  virtual void DeleteSubKeys(const std::string& key) = 0;
};

}  // namespace hv::reg

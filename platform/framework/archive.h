// The framework's object stream: little-endian numbers, length-prefixed
// strings, counts, and object references with one index table shared by
// classes and objects. Agent files and the cache index are written with it.
//
// Reading is hardened: whatever the bytes, a stream that does not follow the
// format raises CArchiveException; nothing is allocated beyond what the
// remaining bytes can describe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "harvion/object.h"

class CFile;

class CArchive {
 public:
  enum Mode { store = 0, load = 1 };
  static constexpr std::size_t kDefaultBuffer = 4096;

  CArchive(CFile* file, Mode mode, std::size_t bufferSize = kDefaultBuffer);
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;
  // A storing archive that was not closed discards what it buffered.
  ~CArchive();

  bool IsLoading() const { return m_mode == load; }
  bool IsStoring() const { return m_mode == store; }
  // Writes what is buffered (storing); throws CFileException.
  void Flush();
  void Close();

  // Numbers.
  void WriteByte(std::uint8_t v);
  void WriteWord(std::uint16_t v);
  void WriteDWord(std::uint32_t v);
  void WriteBytes(const void* data, std::size_t size);
  std::uint8_t ReadByte();
  std::uint16_t ReadWord();
  std::uint32_t ReadDWord();
  void ReadBytes(void* data, std::size_t size);

  // A string: 1-byte length below 255, else 0xFF and a 16-bit length below
  // 0xFFFE, else 0xFF 0xFFFF and a 32-bit length.
  void WriteString(const std::string& s);
  std::string ReadString();

  // A count: 16-bit below 0xFFFF, else 0xFFFF and a 32-bit count. Reading
  // refuses a count whose elements (each at least minElementSize bytes) could
  // not fit in what is left of the stream.
  void WriteCount(std::uint32_t n);
  std::uint32_t ReadCount(std::size_t minElementSize = 1);

  // Writes a reference: null, a back-reference to an object already written,
  // or a new object (with its class record the first time) and its fields.
  void WriteObject(const CObject* obj);
  // Writes an object that nothing else refers to and that is written only
  // here: the same bytes as WriteObject, without remembering the object for
  // a back-reference that cannot come. An index keeps one per link.
  void WriteOwnedObject(const CObject* obj);

  // Reads any reference. A new object is returned with *isNew set and
  // belongs to the caller; a back-reference returns the object read earlier.
  // The object must be of the expected class or derived from it.
  CObject* ReadObject(const CRuntimeClass* expected, bool* isNew = nullptr);
  // Reads a reference that must be a new object (or null).
  std::unique_ptr<CObject> ReadNewObject(const CRuntimeClass* expected);
  // Reads a reference that must be null or an object read earlier.
  CObject* ReadReference(const CRuntimeClass* expected);

  template <class T>
  std::unique_ptr<T> ReadNew() {
    return std::unique_ptr<T>(static_cast<T*>(ReadNewObject(&T::GetThisClass()).release()));
  }

  // Bytes of the stream not yet read (loading).
  std::uint64_t BytesLeft() const;

  // What the reader of a stream needs besides the bytes (the file version,
  // the object being read); owned by whoever set it.
  void* m_pDocument = nullptr;

 private:
  void FillBuffer(std::size_t needed);
  [[noreturn]] void Fail(const char* what);
  CObject* ReadObjectTag(const CRuntimeClass* expected, bool* isNew);
  const CRuntimeClass* ReadClassRecord();
  void WriteNewOrKnown(const CObject* obj, bool remember);

  CFile* m_pFile;
  Mode m_mode;
  bool m_failed = false;
  std::vector<std::uint8_t> m_buffer;
  std::size_t m_bufPos = 0;  // next byte to read or write
  std::size_t m_bufEnd = 0;  // loading: end of valid bytes
  // Loading: bytes of the file not yet in the buffer, measured once, so the
  // bounds checks of every field cost no system call.
  std::uint64_t m_fileLeft = 0;

  // Storing: index of every class and object written.
  std::unordered_map<const void*, std::uint32_t> m_storeMap;
  // Loading: entry n is what index n stands for (0 is null).
  struct LoadEntry {
    const CRuntimeClass* cls = nullptr;
    CObject* obj = nullptr;
  };
  std::vector<LoadEntry> m_loadTable;
  std::uint32_t m_nextIndex = 1;
};

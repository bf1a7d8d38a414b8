// Files as the archive sees them: a POSIX file and an in-memory file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFile {
 public:
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    modeCreate = 0x1000,     // create, truncating an existing file
    shareDenyWrite = 0x0020, // shared advisory lock: our other writers wait
    shareExclusive = 0x0010, // exclusive advisory lock
  };

  CFile() = default;
  // Throws CFileException when the file cannot be opened.
  CFile(const std::string& path, unsigned flags);
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  virtual ~CFile();

  // False (and errno set) when the file cannot be opened.
  bool Open(const std::string& path, unsigned flags);
  // Reads up to count bytes; fewer only at the end of the file.
  virtual std::size_t Read(void* buffer, std::size_t count);
  // Writes everything or throws CFileException (a full disk among others).
  virtual void Write(const void* buffer, std::size_t count);
  virtual std::uint64_t GetLength() const;
  virtual std::uint64_t GetPosition() const;
  // Flushes to the disk; throws CFileException on failure.
  virtual void Flush();
  virtual void Close();

  const std::string& GetFilePath() const { return m_strFileName; }
  bool IsOpen() const { return m_fd >= 0; }

 protected:
  [[noreturn]] void ThrowError(const char* what) const;

  int m_fd = -1;
  std::string m_strFileName;
};

// A growing byte buffer with the file interface; used for records built in
// memory and by tests.
class CMemFile : public CFile {
 public:
  CMemFile() = default;
  explicit CMemFile(std::vector<std::uint8_t> bytes) : m_data(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* buffer, std::size_t count) override;
  std::uint64_t GetLength() const override { return m_data.size(); }
  std::uint64_t GetPosition() const override { return m_pos; }
  void Flush() override {}
  void Close() override {}

  const std::vector<std::uint8_t>& Data() const { return m_data; }
  std::vector<std::uint8_t> Detach() { return std::move(m_data); }

 private:
  std::vector<std::uint8_t> m_data;
  std::size_t m_pos = 0;
};

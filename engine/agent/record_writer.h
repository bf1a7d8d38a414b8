// Builds the little-endian records handed to the user interface.
#pragma once

#include <cstdint>
#include <string>

namespace hv {

class RecordWriter {
 public:
  void PutDWord(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  // The text and its terminating zero.
  void PutText(const std::string& text) {
    m_bytes += text;
    m_bytes.push_back('\0');
  }
  // Zero bytes up to the size.
  void PadTo(std::size_t size) {
    if (m_bytes.size() < size) m_bytes.resize(size, '\0');
  }
  const std::string& Bytes() const { return m_bytes; }

 private:
  std::string m_bytes;
};

}  // namespace hv

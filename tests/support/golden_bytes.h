// Spells out expected file bytes field by field, straight from the stored
// layout (little-endian numbers, short strings, 16-bit object tags), so a
// golden file never depends on the writer it checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class GoldenBytes {
 public:
  GoldenBytes& u8(std::uint8_t v) {
    m_bytes.push_back(v);
    return *this;
  }
  GoldenBytes& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  GoldenBytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  // A string shorter than 255 bytes: its length byte, then its bytes.
  GoldenBytes& str(const std::string& s) {
    u8(static_cast<std::uint8_t>(s.size()));
    m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    return *this;
  }
  // Tag 0xFFFF, schema 1, the name's 16-bit length and the name.
  GoldenBytes& newClass(const std::string& name) {
    u16(0xFFFF).u16(1).u16(static_cast<std::uint16_t>(name.size()));
    m_bytes.insert(m_bytes.end(), name.begin(), name.end());
    return *this;
  }
  GoldenBytes& classRef(std::uint16_t index) { return u16(0x8000 | index); }
  GoldenBytes& objectRef(std::uint16_t index) { return u16(index); }
  GoldenBytes& null() { return u16(0); }

  const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

 private:
  std::vector<std::uint8_t> m_bytes;
};

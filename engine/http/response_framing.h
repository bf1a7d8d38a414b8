// What the transport itself reads from a response, apart from the fields
// that go to the page record: where the header block ends, and whether the
// body the server closed after is as long as it said, so that a body cut
// short is not taken for a whole one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ResponseFraming {
 public:
  // Takes the next received bytes, in pieces cut anywhere; returns how
  // many of them are body bytes.
  std::size_t Add(const char* data, std::size_t length);
  bool HeaderDone() const { return m_bHeaderDone; }
  // Once the server has closed: fewer body bytes came than the header
  // declared. An answer that has no body (1xx, 204, 304) is never short.
  bool BodyShort() const;

 private:
  void ParseHeader();

  std::string m_header;  // up to the header size the transport accepts
  char m_tail[3] = {};   // the last header bytes, for an end marker across pieces
  bool m_bHeaderDone = false;
  bool m_bHasLength = false;
  std::uint64_t m_nLength = 0;
  std::uint64_t m_nBody = 0;
};

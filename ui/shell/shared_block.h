// The 512-byte shared text block through which the main frame and the
// program that started it pass one text: an agent name (or "?") one way,
// a URL the other way.
#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

#include "harvion/shared_memory_block.h"

namespace hvui {

class SharedBlock {
 public:
  static constexpr std::size_t kSize = 512;

  // The block named after the frame's title, served by this process (a
  // block an earlier owner left behind when it died starts afresh). When it
  // cannot be opened the frame runs without it: texts read empty and writes
  // fail.
  explicit SharedBlock(const QString& frameTitle);
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // The shared-memory name for a title: "/harvion.UID." and the title with
  // everything but letters, digits, "-" and "_" turned into "_", at most 255
  // bytes. The user's number keeps users of one machine apart.
  static std::string NameFor(const QString& frameTitle);

  bool IsOpen() const { return m_block.IsOpen(); }
  // Whether this object made the block (it was zero-filled then).
  bool Created() const { return m_block.Created(); }
  const std::string& Name() const { return m_block.Name(); }

  // The text up to the first zero, at most 511 bytes.
  std::string ReadText() const { return m_block.ReadText(); }
  // Copies the text with its terminating zero. A text of 512 bytes or more,
  // or one holding a zero, is refused and the block keeps what it held: a
  // cut address or name would name something else.
  bool WriteText(std::string_view text) { return m_block.WriteText(text); }

  // Removes the name, so the next block under it starts zero-filled; this
  // mapping stays usable. For the owner, at its end.
  void Unlink() { m_block.Unlink(); }

 private:
  SharedMemoryBlock m_block;
};

}  // namespace hvui

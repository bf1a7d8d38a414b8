// The 512-byte shared text block through which the main frame and the
// program that started it pass one text: an agent name (or "?") one way,
// a URL the other way.
#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

namespace hvui {

class SharedBlock {
 public:
  static constexpr std::size_t kSize = 512;

  // The block named after the frame's title. When it cannot be opened the
  // frame runs without it: texts read empty and writes fail.
  explicit SharedBlock(const QString& frameTitle);
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // The shared-memory name for a title: "/" and the title with everything
  // but letters, digits, "-" and "_" turned into "_", at most 255 bytes.
  static std::string NameFor(const QString& frameTitle);

  bool IsOpen() const { return m_view != nullptr; }
  // Whether this object made the block (it was zero-filled then).
  bool Created() const { return m_created; }
  const std::string& Name() const { return m_name; }

  // The text up to the first zero, at most 511 bytes.
  std::string ReadText() const;
  // Copies the text with its terminating zero. A text of 512 bytes or more,
  // or one holding a zero, is refused and the block keeps what it held: a
  // cut address or name would name something else.
  bool WriteText(std::string_view text);

  // Removes the name, so the next block under it starts zero-filled; this
  // mapping stays usable. For the owner, at its end.
  void Unlink();

 private:
  std::string m_name;
  char* m_view = nullptr;
  bool m_created = false;
};

}  // namespace hvui

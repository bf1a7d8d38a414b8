// A 512-byte block of shared memory that processes of one user open by name,
// to pass one zero-terminated text beside window messages. The process that
// serves the block (its owner) is recorded with it, so a block left by an
// owner that died is replaced by a fresh one instead of handing on its text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "harvion/types.h"

// The shared-memory name of the block for a frame title: "/harvion.UID."
// and the title with everything but letters, digits, "-" and "_" turned into
// "_", at most 255 bytes. The user's number keeps users of one machine apart.
HV_EXPORT std::string SharedBlockName(const std::string& frameTitle);

class HV_EXPORT SharedMemoryBlock {
 public:
  static constexpr std::size_t kSize = 512;

  // name: a POSIX shared-memory name ("/" and at most 255 bytes). An owner
  // claims a block no living owner holds. When the block cannot be opened
  // (or belongs to another user), texts read empty and writes fail.
  SharedMemoryBlock(const std::string& name, bool owner);
  ~SharedMemoryBlock();
  SharedMemoryBlock(const SharedMemoryBlock&) = delete;
  SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

  bool IsOpen() const { return m_view != nullptr; }
  // Whether this object made the block (it was zero-filled then).
  bool Created() const { return m_created; }
  const std::string& Name() const { return m_name; }

  // The text up to the first zero, at most 511 bytes.
  std::string ReadText() const;
  // Copies the text with its terminating zero; a text of 512 bytes or more,
  // or one holding a zero, is refused and the block keeps what it held.
  bool WriteText(std::string_view text);
  // Removes the name; this mapping stays usable.
  void Unlink();

 private:
  bool Open(bool owner);

  std::string m_name;
  unsigned char* m_view = nullptr;
  bool m_created = false;
};

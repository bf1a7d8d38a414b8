// The messages whose arguments point at memory (window texts, list-box and
// status-bar texts, a dropped-file block) cannot cross to another process as
// numbers: their text or block travels in the frame's payload and is put into
// memory of the receiver's own. A peer never chooses an address here: for
// these messages the numbers it sends in place of pointers are ignored. The
// status bar's text message shares its number with other classes' own
// messages: it carries a text only to a window listed as a status bar.
#pragma once

#include <memory>
#include <string>

#include "harvion/message_target.h"
#include "platform/windows/link_frame.h"

namespace hv::win {

// Sender side. Fills the payload and the arguments that go on the link for a
// message leaving the process; false when the message cannot go (a text too
// long, a block that is none, a pointer message posted).
bool PackOutgoing(LinkFrame& frame, LPARAM callerLParam, bool sent);
// After the answer: copies the answer's text into the caller's buffer and
// returns the result the caller sees.
LRESULT UnpackReply(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT result,
                    const std::string& payload);

// Receiver side: a message from another process as the target here sees it.
class IncomingMessage {
 public:
  // False when the frame is not one a process of ours sends (a payload where
  // none belongs, a text with a zero in it, a pointer message posted).
  bool Unpack(const LinkFrame& frame);
  WPARAM wParam() const { return m_wParam; }
  LPARAM lParam() const { return m_lParam; }
  // The text that goes back with the answer.
  std::string ReplyPayload(LRESULT result) const;
  // Frees a block that was not delivered.
  void Discard();

 private:
  UINT m_message = 0;
  WPARAM m_wParam = 0;
  LPARAM m_lParam = 0;
  std::string m_buffer;
};

}  // namespace hv::win

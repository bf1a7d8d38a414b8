// Window messages that carry a text or a block, and the few others a program
// beside a browser sends its windows. Across processes the text travels with
// the message (at most kMaxWindowText bytes), as the window system would copy
// it; within a process the pointers are passed as they are. A buffer for
// LB_GETTEXT or SB_GETTEXT to another process's window must hold
// kMaxWindowText + 1 bytes: the length asked before may have changed since.
#pragma once

#include <cstddef>

#include "harvion/message_target.h"

constexpr std::size_t kMaxWindowText = 4096;

constexpr UINT WM_SETTEXT = 0x000C;        // lParam: zero-terminated text; returns 1 when taken
constexpr UINT WM_GETTEXT = 0x000D;        // wParam: buffer size; lParam: buffer; returns the length copied
constexpr UINT WM_GETTEXTLENGTH = 0x000E;  // returns the text's length
constexpr UINT WM_KEYDOWN = 0x0100;        // wParam: virtual key
constexpr UINT WM_DROPFILES = 0x0233;      // wParam: a dropped-file list block (HDROP), the receiver's to free
constexpr UINT LB_GETTEXT = 0x0189;        // wParam: index; lParam: buffer of LB_GETTEXTLEN + 1 bytes
constexpr UINT LB_GETTEXTLEN = 0x018A;     // wParam: index; returns the length or LB_ERR
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr LRESULT LB_ERR = -1;
constexpr UINT SB_GETTEXT = WM_USER + 2;        // wParam: part; lParam: buffer; returns length (low word)
constexpr UINT SB_GETTEXTLENGTH = WM_USER + 3;  // wParam: part; returns length (low word)
constexpr WPARAM VK_RETURN = 13;

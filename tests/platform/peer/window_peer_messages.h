// The messages the test peer understands.
#pragma once

#include "harvion/types.h"

constexpr UINT kPeerEcho = WM_USER + 1;           // posts kPeerEchoed with lParam to the window in wParam
constexpr UINT kPeerEchoed = WM_USER + 2;
constexpr UINT kPeerQuit = WM_USER + 3;
constexpr UINT kPeerDieUnanswered = WM_USER + 4;  // sent: the process ends without answering
constexpr UINT kPeerAnswerLater = WM_USER + 5;    // sent: answered from another thread

// The peer's child window (identifier kPeerChildId, class "HvTestChild")
// keeps the text it is set, answers LB_GETTEXT with "entry N" for N < 3, and
// for a dropped-file list posts kPeerEchoed with the block's size to the
// window of class "HvTestInbox".
constexpr int kPeerChildId = 7;

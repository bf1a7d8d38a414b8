// Window handles as message targets. A front end registers a target for each
// window that receives engine messages; posting to a handle that is gone
// drops the message.
#pragma once

#include <functional>

#include "harvion/types.h"

// Called on the posting thread: the target must queue the message to its own
// thread if it needs one (a Qt window posts to its event loop).
using MessageHandler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

HV_EXPORT HWND CreateMessageTarget(MessageHandler handler);
// After this returns, the handler is never called again.
HV_EXPORT void DestroyMessageTarget(HWND window);
HV_EXPORT BOOL IsWindow(HWND window);
// 0 when the window is gone.
HV_EXPORT BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

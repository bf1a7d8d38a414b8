// Window handles as message targets. A front end registers a target for each
// window that receives engine messages; posting to a handle that is gone
// drops the message. A handle may name a target in another process of the
// same user (see top_level_window.h): posting and sending work for both.
#pragma once

#include <cstdint>
#include <functional>

#include "harvion/types.h"

using LRESULT = std::intptr_t;

// Called on the posting thread: the target must queue the message to its own
// thread if it needs one (a Qt window posts to its event loop). Messages from
// other processes arrive on the engine's link thread.
using MessageHandler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;
// Answers a sent message once, from any thread, now or later. Dropping it
// unanswered makes the send fail at once.
using ReplyFunction = std::function<void(LRESULT result)>;
// Called like MessageHandler for sent messages; a Qt window queues the call
// with the reply and answers on its event loop.
using SentMessageHandler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam, ReplyFunction reply)>;

HV_EXPORT HWND CreateMessageTarget(MessageHandler handler);
// A target that answers sent messages; without one, a sent message goes to
// the handler and is answered 0.
HV_EXPORT HWND CreateMessageTarget(MessageHandler handler, SentMessageHandler sent);
// After this returns, the handler is never called again.
HV_EXPORT void DestroyMessageTarget(HWND window);
HV_EXPORT BOOL IsWindow(HWND window);
// 0 when the window is gone.
HV_EXPORT BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Waits at most timeoutMs for the answer. 0 when the window or its process is
// gone, the target dropped the message, or the time ran out; a send from the
// target's own thread must be answered inside the handler.
HV_EXPORT BOOL SendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, unsigned timeoutMs,
                                  LRESULT* result);
// The answer, or 0 on any failure; waits at most five seconds.
HV_EXPORT LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

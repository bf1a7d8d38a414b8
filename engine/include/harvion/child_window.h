// Child windows other processes can walk to, as a program beside a browser
// finds the browser's address field: each is listed with its parent, its
// control identifier and its class, and is a message target like any window.
// The lookups read what every process of the user listed, so they work the
// same for windows of this process and of others.
#pragma once

#include <string>

#include "harvion/top_level_window.h"

struct WindowStyle {
  HWND parent = nullptr;  // null: a top-level window
  int controlId = 0;
  bool visible = true;
  bool menu = false;
};

// Lists a message target of this process with its parent and identifier;
// the class as for PublishWindow, the title may be empty for a child. A
// child's parent must be listed first.
HV_EXPORT BOOL PublishWindow(HWND window, const char* className, const char* title, const WindowStyle& style);
// Shows or hides a listed window of this process.
HV_EXPORT BOOL ShowWindow(HWND window, bool visible);

// The child of `parent` with that identifier; null when there is none.
HV_EXPORT HWND GetDlgItem(HWND parent, int controlId);
HV_EXPORT HWND GetParent(HWND window);
// The first child of `parent` after `after` (null: from the first) whose
// class and title match; a null name matches any.
HV_EXPORT HWND FindWindowEx(HWND parent, HWND after, const char* className, const char* title);
// Copies the class name with its zero, cut to the buffer; its length, 0 for
// a window that is not listed.
HV_EXPORT int GetClassName(HWND window, char* buffer, int size);
HV_EXPORT BOOL IsWindowVisible(HWND window);
// Whether the window has a menu bar (the handle itself has no use here).
HV_EXPORT BOOL HasMenu(HWND window);

// A window's text through WM_GETTEXTLENGTH and WM_GETTEXT, at most
// kMaxWindowText bytes; empty when the window does not answer.
HV_EXPORT std::string GetWindowText(HWND window);
HV_EXPORT BOOL SetWindowText(HWND window, const char* text);

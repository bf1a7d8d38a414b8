// Top-level windows that other processes of the same user can find by class
// and title, as a browser-side component finds the frame that serves it.
#pragma once

#include <string>
#include <vector>

#include "harvion/types.h"

struct TopLevelWindow {
  HWND window = nullptr;
  std::string className;
  std::string title;
  int processId = 0;
  // For a child window (child_window.h): its parent and control identifier.
  HWND parent = nullptr;
  int controlId = 0;
  bool visible = true;
  bool menu = false;  // the window has a menu bar
};

// Lists a message target under a class and a title; names hold no control
// characters and are at most 255 bytes. 0 when the names are refused or the
// user's runtime folder is unsafe (then the window stays in-process only).
HV_EXPORT BOOL PublishWindow(HWND window, const char* className, const char* title);
// Takes the window off the list; destroying its target does it too.
HV_EXPORT void WithdrawWindow(HWND window);
// The first listed window with that class and title; a null name matches any.
// Windows of processes that ended are skipped and their entries removed.
HV_EXPORT HWND FindWindow(const char* className, const char* title);
// The listed top-level windows (no parent).
HV_EXPORT std::vector<TopLevelWindow> EnumWindows();
// The process a handle belongs to, 0 for a value no process gave out.
HV_EXPORT int GetWindowProcessId(HWND window);

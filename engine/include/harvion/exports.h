// Free functions of the engine: clipboard and drag-out blocks, shortcut
// files, name cleaning and user messages.
#pragma once

#include <functional>
#include <string>

#include "harvion/types.h"

// An empty dropped-file list (a 20-byte header and the final zero).
HV_EXPORT HDROP CreateHdrop();
// Appends a path; returns the possibly moved block, or null when it cannot
// grow (the block passed in then stays valid and the caller's).
HV_EXPORT HDROP AppendFileToHdrop(HDROP drop, const char* path);
// A movable block with a copy of the text and its terminating zero.
HV_EXPORT HGLOBAL CreateClipboardText(const char* text);
// A 336-byte file group descriptor naming one file; null when the name does
// not fit (260 characters or more).
HV_EXPORT HGLOBAL CreateClipboardFiledescriptor(const char* fileName);
// The URL of an internet shortcut file; 1 when it is not empty.
HV_EXPORT int GetUrl(const char* shortcutPath, std::string& url);
HV_EXPORT int GetUrlThroughIni(const char* shortcutPath, std::string& url);
// Trims white space; removes tabs and line breaks from what is left.
HV_EXPORT void CreateName(std::string& name);

// The folder that holds the agent files (and, beside them, the agent
// folders) for this process.
HV_EXPORT std::string GetAgentsDirectory();

// Shows a warning with the product caption, owned by the window.
HV_EXPORT void DisplayError(const char* text, HWND owner);
HV_EXPORT void DisplayError(UINT stringId, HWND owner);

// Where messages go: a desktop program installs a message box; without one
// the text goes to stderr. Returns the previous sink.
using MessageSink = std::function<void(const std::string& text, const std::string& caption, HWND owner)>;
HV_EXPORT MessageSink SetMessageSink(MessageSink sink);

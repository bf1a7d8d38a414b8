// The messages between the desktop program and the component in a browser
// that starts it for one browser window, and the names by which the
// component finds the program's frame for its window.
#pragma once

#include <cstdint>
#include <string>

#include "harvion/types.h"

// To the frame.
constexpr UINT WM_HVP_ADD_PAGE = 5490;        // add the browser's current page to the open agent
constexpr UINT WM_HVP_OPEN_AGENT = 5492;      // open the agent named in the shared block ("?": a new one)
constexpr UINT WM_HVP_ATTACH = 5493;          // wParam: host window; show the agent frame there
constexpr UINT WM_HVP_QUERY_ATTACHED = 5495;  // sent: 1 when attached
constexpr UINT WM_HVP_SHOW = 5496;            // show the agent's view of the current page
constexpr UINT WM_HVP_DETACH = 5498;
constexpr UINT WM_HVP_RESIZE = 5499;  // lParam: width (low word), height (high word); 0 repaints
constexpr UINT WM_HVP_QUIT = 5502;    // ends the program with kPluginQuitCode unless an agent runs
// From the program.
constexpr UINT WM_HVP_REFRESH_LIST = 5489;  // to the agent list box, before it is read
// To the browser window (wParam 1 after attaching, 0 after detaching).
constexpr UINT WM_HVP_NAVIGATE = 5497;  // to the host window: the shared block holds a URL to show

constexpr int kPluginQuitCode = 3;
constexpr const char* kPluginFrameClass = "Harvion_Plugin_Frame_Class";

// "Harvion Plugin Frame: N" with the browser window's handle as a decimal
// number (all of its 64 bits).
inline std::string PluginFrameTitle(HWND browserWindow) {
  return "Harvion Plugin Frame: " + std::to_string(reinterpret_cast<std::uintptr_t>(browserWindow));
}

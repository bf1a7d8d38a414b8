// Messages the engine posts to the user interface's main window.
#pragma once

#include "harvion/types.h"

// wParam: files in the agent's folder; lParam: their total size in bytes.
constexpr UINT WM_HV_STATISTICS = WM_USER + 45;
// Posted before and after the agents folder changes, so the interface can
// close and reopen its view of the agents.
constexpr UINT WM_HV_AGENTS_FOLDER_CHANGING = WM_USER + 43;
constexpr UINT WM_HV_AGENTS_FOLDER_CHANGED = WM_USER + 44;

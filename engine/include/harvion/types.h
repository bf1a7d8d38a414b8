// Handle and message types shared by the engine and its front ends.
#pragma once

#include <cstdint>

#if defined(HVDLL_BUILD)
#define HV_EXPORT __attribute__((visibility("default")))
#else
#define HV_EXPORT
#endif

// Opaque handles: each names an entry in a table kept by the engine, so a
// stale or forged handle is refused instead of dereferenced.
struct HWND__;
using HWND = HWND__*;
struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;
using HDROP = HGLOBAL;

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using BOOL = int;

constexpr UINT WM_USER = 0x0400;

// Global memory blocks: texts and records the engine hands to its callers.
// The caller frees every block it receives with GlobalFree.
#pragma once

#include <cstddef>

#include "harvion/types.h"

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Null when memory is short or the size is absurd.
HV_EXPORT HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// Grows or shrinks the block; new bytes are zero when GMEM_ZEROINIT is given.
// Null on failure, the old block then stays valid. A movable block may get a
// new handle.
HV_EXPORT HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, UINT flags);
// Null for a handle that is not a live block.
HV_EXPORT void* GlobalLock(HGLOBAL block);
HV_EXPORT BOOL GlobalUnlock(HGLOBAL block);
// 0 for a handle that is not a live block.
HV_EXPORT std::size_t GlobalSize(HGLOBAL block);
// Null on success; the handle itself when it was not a live block.
HV_EXPORT HGLOBAL GlobalFree(HGLOBAL block);

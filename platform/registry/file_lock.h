// The lock moved to platform/files; the settings store keeps its name for it.
#pragma once

#include "platform/files/file_lock.h"

namespace hv::reg::detail {

using FileLock = hv::fs::FileLock;

}  // namespace hv::reg::detail

// Nothing throws across the engine's interface: exported functions and node
// operations run their work through this guard.
#pragma once

#include <new>

#include "platform/framework/exceptions.h"

namespace hv {

// The operation's result, or the failure value when it raised one of the
// engine's exceptions.
template <class T, class Op>
T Guarded(T failure, Op op) {
  try {
    return op();
  } catch (const CException&) {
  } catch (const std::bad_alloc&) {
  }
  return failure;
}

}  // namespace hv

#include "engine/agent/crash_point.h"

#include <atomic>

namespace hv {

namespace {

std::atomic<CrashHandler> g_handler{nullptr};

}  // namespace

CrashHandler SetCrashHandler(CrashHandler handler) { return g_handler.exchange(handler); }

void CrashPoint(const char* point) {
  if (const CrashHandler handler = g_handler.load()) handler(point);
}

}  // namespace hv

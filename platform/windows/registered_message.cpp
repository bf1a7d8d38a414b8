#include "platform/windows/registered_message.h"

#include <strings.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr UINT kFirst = 0xC000;
constexpr UINT kLast = 0xFFFF;

}  // namespace

UINT RegisterWindowMessage(const char* name) {
  if (!name || !*name) return 0;
  static std::mutex mutex;
  static std::vector<std::string> names;  // index + kFirst is the number
  std::lock_guard lock(mutex);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (::strcasecmp(names[i].c_str(), name) == 0) return kFirst + static_cast<UINT>(i);
  }
  if (names.size() > kLast - kFirst) return 0;
  names.emplace_back(name);
  return kFirst + static_cast<UINT>(names.size() - 1);
}

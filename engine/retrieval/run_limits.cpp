#include "engine/retrieval/run_limits.h"

#include <cstdlib>
#include <mutex>
#include <sstream>
#include <unordered_set>

#include "engine/http/async_server.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"

namespace hv::run {

namespace {

struct LimitState {
  std::mutex mutex;
  HvRunLimits counts;
  bool sizeLimitStop = false;
  // Addresses refused at the key limit, so that one linked from many pages
  // counts once.
  std::unordered_set<std::string> refused;
};

LimitState& State() {
  static LimitState state;
  return state;
}

std::string LimitsPath(const std::string& cacheFolder) {
  return hv::fs::JoinPath(cacheFolder, hv::res::LoadString(hv::res::IDS_CACHE_INDEX) + ".limits");
}

// "keys N", "size N", "depth N", a line each.
constexpr std::size_t kMaxLimitsFile = 256;

}  // namespace

void ResetLimits() {
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  s.counts = {};
  s.sizeLimitStop = false;
  std::unordered_set<std::string>().swap(s.refused);
}

void NoteKeyLimit(const std::string& address) {
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  if (s.refused.insert(address).second) ++s.counts.keyLimit;
}

void NoteDepthLimit() {
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  ++s.counts.depthLimit;
}

void NoteSizeLimitStop() {
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  s.sizeLimitStop = true;
}

void NoteRequestEnd(int status) {
  const bool stopped = status == CAsyncServer::statusRejected || status == CAsyncServer::statusDropped ||
                       status == CAsyncServer::statusCutOff;
  if (!stopped) return;
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  if (s.sizeLimitStop) ++s.counts.sizeLimit;
}

void NotePageCutAtSizeLimit() {
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  ++s.counts.sizeLimit;
}

HvRunLimits Limits() {
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  return s.counts;
}

void LoadLimits(const std::string& cacheFolder) {
  HvRunLimits counts;
  const std::string path = LimitsPath(cacheFolder);
  // Nothing but a plain file is read: a pipe of that name would never end.
  if (hv::fs::IsRegularFile(path)) {
    try {
      CFile file(path, CFile::modeRead);
      std::string text(kMaxLimitsFile, '\0');
      text.resize(file.Read(text.data(), text.size()));
      std::istringstream lines(text);
      for (std::string name, value; lines >> name >> value;) {
        // Anything but a plain count (a damaged file) counts nothing.
        char* end = nullptr;
        const unsigned long n = std::strtoul(value.c_str(), &end, 10);
        if (*end != '\0' || value[0] == '-' || n > 0xFFFFFFFFul) continue;
        const auto count = static_cast<unsigned>(n);
        if (name == "keys") counts.keyLimit = count;
        if (name == "size") counts.sizeLimit = count;
        if (name == "depth") counts.depthLimit = count;
      }
    } catch (...) {
      counts = {};  // not readable: nothing is known of the last run
    }
  }
  LimitState& s = State();
  const std::lock_guard lock(s.mutex);
  s.counts = counts;
  s.sizeLimitStop = false;
  std::unordered_set<std::string>().swap(s.refused);
}

void SaveLimits(const std::string& cacheFolder) {
  const HvRunLimits counts = Limits();
  const std::string path = LimitsPath(cacheFolder);
  try {
    if (counts.Total() == 0) {
      hv::fs::RemoveFile(path);
      return;
    }
    const std::string text = "keys " + std::to_string(counts.keyLimit) + "\nsize " +
                             std::to_string(counts.sizeLimit) + "\ndepth " + std::to_string(counts.depthLimit) +
                             "\n";
    hv::fs::ReplaceFile(path, [&text](CFile& file) { file.Write(text.data(), text.size()); });
  } catch (...) {
    // Only a note for later looks: the run itself has said what it left out.
  }
}

}  // namespace hv::run

HvRunLimits GetRunLimits() {
  try {
    return hv::run::Limits();
  } catch (...) {
    return {};
  }
}

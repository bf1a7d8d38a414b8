#include "platform/net/host_lookup.h"

#include <arpa/inet.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace hv::net {

namespace {

// Shared by the waiting thread and the looking one: whichever ends last
// frees it.
struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool found = false;
  std::uint32_t address = 0;
  int error = 0;
};

constexpr auto kCutOffCheck = std::chrono::milliseconds(20);

}  // namespace

LookupEnd LookUpHost(const std::string& host, std::uint32_t& address, int& error,
                     std::chrono::milliseconds limit, const std::function<bool()>& cutOff,
                     const Resolver& resolve) {
  // A number needs no name server and no thread.
  in_addr dotted{};
  if (inet_aton(host.c_str(), &dotted) != 0) {
    address = dotted.s_addr;
    error = 0;
    return LookupEnd::found;
  }
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host, resolve] {
      std::uint32_t found = 0;
      int failure = 0;
      const bool ok = resolve(host, found, failure);
      const std::lock_guard lock(lookup->mutex);
      lookup->found = ok;
      lookup->address = found;
      lookup->error = failure;
      lookup->finished = true;
      lookup->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: look up here, as it always was.
    return resolve(host, address, error) ? LookupEnd::found : LookupEnd::failed;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock lock(lookup->mutex);
  while (!lookup->finished) {
    if (cutOff && cutOff()) return LookupEnd::cutOff;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return LookupEnd::timedOut;
    lookup->done.wait_for(lock, std::min<std::chrono::steady_clock::duration>(kCutOffCheck, deadline - now));
  }
  address = lookup->address;
  error = lookup->error;
  return lookup->found ? LookupEnd::found : LookupEnd::failed;
}

}  // namespace hv::net

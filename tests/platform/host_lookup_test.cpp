// A slow name server never holds a transfer past a stop or its time-out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "platform/net/host_lookup.h"
#include "platform/net/tcp_socket.h"

namespace {

using namespace std::chrono_literals;
using hv::net::LookupEnd;

TEST(HostLookup, ends_at_the_answer_a_stop_or_the_time_out) {
  // The slow resolver answers only when the test lets it, after its case.
  struct Case {
    const char* name;
    std::string host;
    bool slow;
    bool resolves;
    bool stopSoon;
    LookupEnd expected;
  };
  const std::vector<Case> cases = {
      {"a number is no lookup", "10.1.2.3", true, false, false, LookupEnd::found},
      {"found", "name.example", false, true, false, LookupEnd::found},
      {"not found", "name.example", false, false, false, LookupEnd::failed},
      {"stopped while the server is silent", "name.example", true, true, true, LookupEnd::cutOff},
      {"silent past the time-out", "name.example", true, true, false, LookupEnd::timedOut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    // Copies only: an abandoned lookup may answer after the case.
    const bool slow = c.slow, resolves = c.resolves;
    const hv::net::Resolver resolve = [slow, resolves, released](const std::string&, std::uint32_t& address,
                                                                 int& error) {
      if (slow) released.wait();
      address = 0x0100007F;
      error = resolves ? 0 : hv::net::kErrorHostNotFound;
      return resolves;
    };
    const auto start = std::chrono::steady_clock::now();
    const auto cutOff = [&] { return c.stopSoon && std::chrono::steady_clock::now() - start > 50ms; };
    std::uint32_t address = 0;
    int error = 0;
    EXPECT_EQ(hv::net::LookUpHost(c.host, address, error, 300ms, cutOff, resolve), c.expected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    if (c.expected == LookupEnd::found) {
      EXPECT_NE(address, 0u);
    }
    if (c.expected == LookupEnd::failed) {
      EXPECT_EQ(error, hv::net::kErrorHostNotFound);
    }
    release.set_value();
  }
}

}  // namespace

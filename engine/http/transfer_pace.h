// How long a transfer may still wait for the server. A time-out on each
// receive alone lets a server that sends a byte now and then hold a worker,
// and with it the run, without end; so the header block must be complete
// within one time-out of the request, and after it every time-out must
// bring at least kMinBodyBytesPerTimeout bytes of body.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

class TransferPace {
 public:
  using Clock = std::chrono::steady_clock;

  // Less than this much body in a whole time-out counts as a stalled server.
  static constexpr std::size_t kMinBodyBytesPerTimeout = 1024;

  // timeoutMs 0 or less: no bound at all. start is when the request went out.
  TransferPace(int timeoutMs, Clock::time_point start);

  // Bytes received at now: headerDone once the header block has ended,
  // with bodyBytes of them body.
  void Received(bool headerDone, std::size_t bodyBytes, Clock::time_point now);
  // Milliseconds the next receive may wait: -1 without a bound, 0 when the
  // transfer has run out of time.
  int WaitLimit(Clock::time_point now) const;

 private:
  const Clock::duration m_timeout;
  Clock::time_point m_windowStart;  // the request, the header end, or the last full share of body
  bool m_bBody = false;
  std::size_t m_nWindowBytes = 0;
};

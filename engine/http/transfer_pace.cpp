#include "engine/http/transfer_pace.h"

#include <algorithm>

TransferPace::TransferPace(int timeoutMs, Clock::time_point start)
    : m_timeout(std::chrono::milliseconds(std::max(timeoutMs, 0))), m_windowStart(start) {}

void TransferPace::Received(bool headerDone, std::size_t bodyBytes, Clock::time_point now) {
  if (!headerDone) return;
  if (!m_bBody) {
    // The body's first time-out starts at the end of the header block.
    m_bBody = true;
    m_windowStart = now;
    m_nWindowBytes = 0;
  }
  m_nWindowBytes += bodyBytes;
  if (m_nWindowBytes >= kMinBodyBytesPerTimeout) {
    m_windowStart = now;
    m_nWindowBytes = 0;
  }
}

int TransferPace::WaitLimit(Clock::time_point now) const {
  if (m_timeout == Clock::duration::zero()) return -1;
  const auto left = m_windowStart + m_timeout - now;
  if (left <= Clock::duration::zero()) return 0;
  // Rounded up, so a wait never ends just before the limit and finds time left.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::max<std::int64_t>(ms, 1));
}

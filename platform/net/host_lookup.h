// A host name looked up on a thread of its own, so that the transfer that
// needs it can give up at a stop or at its time-out instead of waiting for
// a slow name server. An abandoned lookup ends by itself and is forgotten.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace hv::net {

// What does the looking up: ResolveIPv4, or another in tests.
using Resolver = std::function<bool(const std::string& host, std::uint32_t& address, int& error)>;

enum class LookupEnd { found, failed, cutOff, timedOut };

// Looks host up with resolve, waiting at most limit and asking cutOff (from
// the calling thread) every few milliseconds whether to give up. On
// found, address holds the IPv4 address; on failed, error the WinSock
// number of the failure.
LookupEnd LookUpHost(const std::string& host, std::uint32_t& address, int& error,
                     std::chrono::milliseconds limit, const std::function<bool()>& cutOff,
                     const Resolver& resolve);

}  // namespace hv::net

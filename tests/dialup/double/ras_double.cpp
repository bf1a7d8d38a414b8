// A dial-up library for the tests: a phone book in memory and a dialer that
// reports scripted states to the window it is given, from its own thread.
#include "double/ras_double.h"

#include <strings.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harvion/ras_api.h"

namespace {

constexpr std::uint32_t kInvalidHandle = 6, kNoSuchEntry = 623, kInvalidSize = 632, kWrongNumber = 1;

struct Connection {
  std::string name;
  RASCONNSTATE state;
};

class Double {
 public:
  ~Double() { Do("reset"); }

  void Do(const std::string& command) {
    std::istringstream words(command);
    std::string verb, name, value;
    words >> verb >> name >> value;
    std::vector<std::thread> threads;
    {
      std::lock_guard lock(m_mutex);
      if (verb == "entry") m_entries.emplace_back(name, value);
      if (verb == "connection") m_connections[m_next++] = {name, static_cast<RASCONNSTATE>(std::stoul(value))};
      if (verb == "fail") m_failures[name] = static_cast<std::uint32_t>(std::stoul(value));
      if (verb == "reset") {
        m_entries.clear(), m_connections.clear(), m_failures.clear(), m_calls.clear();
        threads.swap(m_threads);
      }
    }
    m_hungUp.notify_all();
    for (std::thread& thread : threads) thread.join();
  }

  unsigned Count(const std::string& what) {
    std::lock_guard lock(m_mutex);
    return what == "up" ? static_cast<unsigned>(m_connections.size()) : m_calls[what];
  }

  // Counts the call; the error the test asked the function to answer, or 0.
  std::uint32_t Enter(const std::string& function) {
    std::lock_guard lock(m_mutex);
    ++m_calls[function];
    return m_failures.contains(function) ? m_failures[function] : 0;
  }

  // Fills the block with one record per item, or asks for the room it needs.
  template <typename Record, typename Items, typename Write>
  std::uint32_t Enumerate(const char* function, const Items& items, Record* block, std::uint32_t* bytes,
                          std::uint32_t* count, Write write) {
    if (const std::uint32_t error = Enter(function)) return error;
    if (block->dwSize != sizeof(Record)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    const auto needed = static_cast<std::uint32_t>(items.size() * sizeof(Record));
    *count = static_cast<std::uint32_t>(items.size());
    if (*bytes < needed) {
      *bytes = needed;
      return ERROR_BUFFER_TOO_SMALL;
    }
    for (const auto& item : items) write(*block++, item);
    return 0;
  }

  std::uint32_t GetConnectStatus(HRASCONN handle, RASCONNSTATUSA* status) {
    if (const std::uint32_t error = Enter("RasGetConnectStatusA")) return error;
    if (status->dwSize != sizeof(RASCONNSTATUSA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    if (!m_connections.contains(handle)) return kInvalidHandle;
    status->rasconnstate = m_connections[handle].state;
    return 0;
  }

  std::uint32_t GetEntryDialParams(RASDIALPARAMSA* params) {
    if (const std::uint32_t error = Enter("RasGetEntryDialParamsA")) return error;
    if (params->dwSize != sizeof(RASDIALPARAMSA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    if (!Find(params->szEntryName)) return kNoSuchEntry;
    std::strcpy(params->szPhoneNumber, "555-0100");
    std::strcpy(params->szCallbackNumber, "555-0199");
    std::strcpy(params->szUserName, "ann");
    std::strcpy(params->szPassword, "secret");
    std::strcpy(params->szDomain, "OFFICE");
    return 0;
  }

  std::uint32_t Dial(const RASDIALPARAMSA* params, std::uint32_t notifierType, void* notifier, HRASCONN* handle) {
    const std::uint32_t failure = Enter("RasDialA");
    if (params->dwSize != sizeof(RASDIALPARAMSA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    const auto entry = Find(params->szEntryName);
    if (!entry) return kNoSuchEntry;
    // Only the entry's own number, callback and domain, with its stored user.
    if (*params->szPhoneNumber || *params->szCallbackNumber || *params->szDomain ||
        std::strcmp(params->szPassword, "secret") != 0) {
      return kWrongNumber;
    }
    // Like the system's dialer, a failed start still hands out a handle to hang up.
    *handle = m_next++;
    m_connections[*handle] = {entry->first, RASCS_OpenPort};
    if (failure) return failure;
    if (notifierType == RAS_NOTIFIER_WINDOW) {
      m_threads.emplace_back([this, window = *static_cast<const RASNOTIFYWINDOW*>(notifier), connection = *handle,
                              script = entry->second] { Run(window, connection, script); });
    }
    return 0;
  }

  std::uint32_t HangUp(HRASCONN handle) {
    if (const std::uint32_t error = Enter("RasHangUpA")) return error;
    std::lock_guard lock(m_mutex);
    m_hungUp.notify_all();
    return m_connections.erase(handle) == 1 ? 0 : kInvalidHandle;
  }

  std::vector<std::pair<std::string, std::string>> m_entries;  // name and dial script, in phone book order
  std::map<HRASCONN, Connection> m_connections;

 private:
  // Called with m_mutex held.
  const std::pair<std::string, std::string>* Find(const char* name) const {
    for (const auto& entry : m_entries) {
      if (::strcasecmp(entry.first.c_str(), name) == 0) return &entry;
    }
    return nullptr;
  }

  void Run(const RASNOTIFYWINDOW& window, HRASCONN connection, const std::string& script) {
    std::istringstream steps(script);
    for (std::string step; std::getline(steps, step, ',');) {
      std::unique_lock lock(m_mutex);
      if (step == "wait") return m_hungUp.wait(lock, [&] { return !m_connections.contains(connection); });
      if (!m_connections.contains(connection)) return;
      unsigned state = 0, error = 0;
      std::sscanf(step.c_str(), "%u/%u", &state, &error);
      m_connections[connection].state = static_cast<RASCONNSTATE>(state);
      lock.unlock();
      window.post(window.hwnd, window.message, state, error);
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_hungUp;
  std::map<std::string, std::uint32_t> m_failures;
  std::map<std::string, unsigned> m_calls;
  HRASCONN m_next = 1;
  std::vector<std::thread> m_threads;
};

Double& The() {
  static Double instance;
  return instance;
}

}  // namespace

extern "C" {

void RasDoubleDo(const char* command) { The().Do(command); }
unsigned RasDoubleCount(const char* what) { return The().Count(what); }

std::uint32_t RasCreatePhonebookEntryA(HWND, const char*) { return The().Enter("RasCreatePhonebookEntryA"); }
std::uint32_t RasDialA(void*, const char*, RASDIALPARAMSA* params, std::uint32_t type, void* notifier,
                       HRASCONN* connection) {
  return The().Dial(params, type, notifier, connection);
}
std::uint32_t RasEditPhonebookEntryA(HWND, const char*, const char*) { return The().Enter("RasEditPhonebookEntryA"); }
std::uint32_t RasEnumConnectionsA(RASCONNA* block, std::uint32_t* bytes, std::uint32_t* count) {
  return The().Enumerate("RasEnumConnectionsA", The().m_connections, block, bytes, count,
                         [](RASCONNA& record, const auto& item) {
                           record.hrasconn = item.first;
                           std::snprintf(record.szEntryName, sizeof record.szEntryName, "%s", item.second.name.c_str());
                         });
}
std::uint32_t RasEnumEntriesA(const char*, const char*, RASENTRYNAMEA* block, std::uint32_t* bytes,
                              std::uint32_t* count) {
  return The().Enumerate("RasEnumEntriesA", The().m_entries, block, bytes, count,
                         [](RASENTRYNAMEA& record, const auto& item) {
                           std::snprintf(record.szEntryName, sizeof record.szEntryName, "%s", item.first.c_str());
                         });
}
std::uint32_t RasGetConnectStatusA(HRASCONN connection, RASCONNSTATUSA* status) {
  return The().GetConnectStatus(connection, status);
}
std::uint32_t RasGetEntryDialParamsA(const char*, RASDIALPARAMSA* params, BOOL*) {
  return The().GetEntryDialParams(params);
}
std::uint32_t RasGetErrorStringA(UINT error, char* text, std::uint32_t size) {
  if (const std::uint32_t failure = The().Enter("RasGetErrorStringA")) return failure;
  std::snprintf(text, size, "Dial-up error %u", error);
  return 0;
}
std::uint32_t RasGetProjectionInfoA(HRASCONN, std::uint32_t, void*, std::uint32_t*) {
  return The().Enter("RasGetProjectionInfoA");
}
std::uint32_t RasHangUpA(HRASCONN connection) { return The().HangUp(connection); }
#ifndef HV_RAS_DOUBLE_INCOMPLETE
std::uint32_t RasSetEntryDialParamsA(const char*, RASDIALPARAMSA*, BOOL) {
  return The().Enter("RasSetEntryDialParamsA");
}
#endif

}  // extern "C"

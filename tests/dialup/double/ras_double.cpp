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

namespace {

constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kInvalidBuffer = 610;
constexpr std::uint32_t kNoSuchEntry = 623;
constexpr std::uint32_t kInvalidSize = 632;

struct Entry {
  std::string name;
  std::string script;
};

struct Connection {
  std::string name;
  RASCONNSTATE state;
};

class Double {
 public:
  ~Double() { Reset(); }

  void Reset() {
    std::vector<std::thread> threads;
    {
      std::lock_guard lock(m_mutex);
      m_entries.clear();
      m_connections.clear();
      m_failures.clear();
      m_calls.clear();
      m_lastParams = {};
      threads.swap(m_threads);
    }
    m_hungUp.notify_all();
    for (std::thread& thread : threads) thread.join();
  }

  // Counts the call; the error the test asked the function to answer, or 0.
  std::uint32_t Enter(const std::string& function) {
    std::lock_guard lock(m_mutex);
    ++m_calls[function];
    const auto it = m_failures.find(function);
    return it == m_failures.end() ? 0 : it->second;
  }

  std::uint32_t EnumEntries(RASENTRYNAMEA* block, std::uint32_t* bytes, std::uint32_t* count) {
    if (const std::uint32_t error = Enter("RasEnumEntriesA")) return error;
    if (!block || !bytes || !count) return kInvalidBuffer;
    if (block->dwSize != sizeof(RASENTRYNAMEA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    return Fill(m_entries.size(), block, bytes, count, [&](std::size_t i, RASENTRYNAMEA& record) {
      std::snprintf(record.szEntryName, sizeof record.szEntryName, "%s", m_entries[i].name.c_str());
    });
  }

  std::uint32_t EnumConnections(RASCONNA* block, std::uint32_t* bytes, std::uint32_t* count) {
    if (const std::uint32_t error = Enter("RasEnumConnectionsA")) return error;
    if (!block || !bytes || !count) return kInvalidBuffer;
    if (block->dwSize != sizeof(RASCONNA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    auto it = m_connections.begin();
    return Fill(m_connections.size(), block, bytes, count, [&](std::size_t, RASCONNA& record) {
      record.hrasconn = it->first;
      std::snprintf(record.szEntryName, sizeof record.szEntryName, "%s", it->second.name.c_str());
      ++it;
    });
  }

  std::uint32_t GetConnectStatus(HRASCONN handle, RASCONNSTATUSA* status) {
    if (const std::uint32_t error = Enter("RasGetConnectStatusA")) return error;
    if (!status) return kInvalidBuffer;
    if (status->dwSize != sizeof(RASCONNSTATUSA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(handle);
    if (it == m_connections.end()) return kInvalidHandle;
    status->rasconnstate = it->second.state;
    return 0;
  }

  std::uint32_t GetEntryDialParams(RASDIALPARAMSA* params) {
    if (const std::uint32_t error = Enter("RasGetEntryDialParamsA")) return error;
    if (!params) return kInvalidBuffer;
    if (params->dwSize != sizeof(RASDIALPARAMSA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    if (!FindEntry(params->szEntryName)) return kNoSuchEntry;
    // What a phone book keeps for every entry here.
    std::strcpy(params->szPhoneNumber, "555-0100");
    std::strcpy(params->szCallbackNumber, "555-0199");
    std::strcpy(params->szUserName, "ann");
    std::strcpy(params->szPassword, "secret");
    std::strcpy(params->szDomain, "OFFICE");
    return 0;
  }

  std::uint32_t Dial(RASDIALPARAMSA* params, std::uint32_t notifierType, void* notifier, HRASCONN* handle) {
    const std::uint32_t failure = Enter("RasDialA");
    if (!params || !handle) return kInvalidBuffer;
    if (params->dwSize != sizeof(RASDIALPARAMSA)) return kInvalidSize;
    std::lock_guard lock(m_mutex);
    m_lastParams = *params;
    const Entry* entry = FindEntry(params->szEntryName);
    if (!entry) return kNoSuchEntry;
    // Like the system's dialer, a failed start still hands out a handle to hang up.
    *handle = m_nextHandle++;
    m_connections[*handle] = {entry->name, RASCS_OpenPort};
    if (failure) return failure;
    if (notifierType == RAS_NOTIFIER_WINDOW && notifier) {
      const RASNOTIFYWINDOW window = *static_cast<const RASNOTIFYWINDOW*>(notifier);
      m_threads.emplace_back([this, window, connection = *handle, script = entry->script] {
        RunScript(window, connection, script);
      });
    }
    return 0;
  }

  std::uint32_t HangUp(HRASCONN handle) {
    if (const std::uint32_t error = Enter("RasHangUpA")) return error;
    {
      std::lock_guard lock(m_mutex);
      if (m_connections.erase(handle) == 0) return kInvalidHandle;
    }
    m_hungUp.notify_all();
    return 0;
  }

  std::uint32_t ErrorString(UINT error, char* text, std::uint32_t size) {
    if (const std::uint32_t failure = Enter("RasGetErrorStringA")) return failure;
    if (!text || size == 0) return kInvalidBuffer;
    std::snprintf(text, size, "Dial-up error %u", error);
    return 0;
  }

  void AddEntry(const char* name, const char* script) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back({name, script});
  }
  void AddConnection(const char* name, RASCONNSTATE state) {
    std::lock_guard lock(m_mutex);
    m_connections[m_nextHandle++] = {name, state};
  }
  void Fail(const char* function, std::uint32_t error) {
    std::lock_guard lock(m_mutex);
    m_failures[function] = error;
  }
  unsigned Calls(const char* function) {
    std::lock_guard lock(m_mutex);
    return m_calls[function];
  }
  unsigned ConnectionsUp() {
    std::lock_guard lock(m_mutex);
    return static_cast<unsigned>(m_connections.size());
  }
  void LastDialParams(RASDIALPARAMSA* params) {
    std::lock_guard lock(m_mutex);
    *params = m_lastParams;
  }

 private:
  // Called with m_mutex held.
  const Entry* FindEntry(const char* name) const {
    for (const Entry& entry : m_entries) {
      if (::strcasecmp(entry.name.c_str(), name) == 0) return &entry;
    }
    return nullptr;
  }

  // Called with m_mutex held.
  template <typename Record, typename Write>
  static std::uint32_t Fill(std::size_t n, Record* block, std::uint32_t* bytes, std::uint32_t* count, Write write) {
    const auto needed = static_cast<std::uint32_t>(n * sizeof(Record));
    *count = static_cast<std::uint32_t>(n);
    if (*bytes < needed) {
      *bytes = needed;
      return ERROR_BUFFER_TOO_SMALL;
    }
    for (std::size_t i = 0; i < n; ++i) write(i, block[i]);
    return 0;
  }

  void RunScript(const RASNOTIFYWINDOW& window, HRASCONN connection, const std::string& script) {
    std::istringstream steps(script);
    for (std::string step; std::getline(steps, step, ',');) {
      std::unique_lock lock(m_mutex);
      if (step == "wait") {
        m_hungUp.wait(lock, [&] { return !m_connections.contains(connection); });
        return;
      }
      const auto it = m_connections.find(connection);
      if (it == m_connections.end()) return;
      unsigned state = 0, error = 0;
      std::sscanf(step.c_str(), "%u/%u", &state, &error);
      it->second.state = static_cast<RASCONNSTATE>(state);
      lock.unlock();
      window.post(window.hwnd, window.message, state, error);
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_hungUp;
  std::vector<Entry> m_entries;
  std::map<HRASCONN, Connection> m_connections;
  std::map<std::string, std::uint32_t> m_failures;
  std::map<std::string, unsigned> m_calls;
  RASDIALPARAMSA m_lastParams{};
  HRASCONN m_nextHandle = 1;
  std::vector<std::thread> m_threads;
};

Double& The() {
  static Double instance;
  return instance;
}

}  // namespace

extern "C" {

std::uint32_t RasCreatePhonebookEntryA(HWND, const char*) { return The().Enter("RasCreatePhonebookEntryA"); }
std::uint32_t RasDialA(void*, const char*, RASDIALPARAMSA* params, std::uint32_t notifierType, void* notifier,
                       HRASCONN* connection) {
  return The().Dial(params, notifierType, notifier, connection);
}
std::uint32_t RasEditPhonebookEntryA(HWND, const char*, const char*) { return The().Enter("RasEditPhonebookEntryA"); }
std::uint32_t RasEnumConnectionsA(RASCONNA* block, std::uint32_t* bytes, std::uint32_t* count) {
  return The().EnumConnections(block, bytes, count);
}
std::uint32_t RasEnumEntriesA(const char*, const char*, RASENTRYNAMEA* block, std::uint32_t* bytes,
                              std::uint32_t* count) {
  return The().EnumEntries(block, bytes, count);
}
std::uint32_t RasGetConnectStatusA(HRASCONN connection, RASCONNSTATUSA* status) {
  return The().GetConnectStatus(connection, status);
}
std::uint32_t RasGetEntryDialParamsA(const char*, RASDIALPARAMSA* params, BOOL*) {
  return The().GetEntryDialParams(params);
}
std::uint32_t RasGetErrorStringA(UINT error, char* text, std::uint32_t size) {
  return The().ErrorString(error, text, size);
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

void RasDoubleReset() { The().Reset(); }
void RasDoubleAddEntry(const char* name, const char* script) { The().AddEntry(name, script); }
void RasDoubleAddConnection(const char* name, RASCONNSTATE state) { The().AddConnection(name, state); }
void RasDoubleFail(const char* function, std::uint32_t error) { The().Fail(function, error); }
unsigned RasDoubleCalls(const char* function) { return The().Calls(function); }
unsigned RasDoubleConnectionsUp() { return The().ConnectionsUp(); }
void RasDoubleLastDialParams(RASDIALPARAMSA* params) { The().LastDialParams(params); }

}  // extern "C"

// The dial-up library as the process holds it: loaded by the first
// CRas::Init, unloaded when any CRas is destroyed. Whoever calls into the
// library keeps the pointer it got for as long as the call runs, so an unload
// on another thread never takes the code from under it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "harvion/ras_api.h"
#include "platform/ras/ras_library.h"

namespace hv::dialup {

using LibraryPtr = std::shared_ptr<const hv::ras::RasLibrary>;

// Null while no library is loaded.
LibraryPtr LoadedRasLibrary();
// Loads it unless loaded, and publishes its functions in CRas's pointers.
void LoadRasLibrary();
void UnloadRasLibrary();
// The message number a dial's progress arrives with; 0 before the first load.
UINT RasDialEventMessage();

// Tells the user what went wrong: the library's own text for the error, or
// "Undefine Ras Error Code" when it has none.
void ShowRasError(const hv::ras::RasFunctions& ras, std::uint32_t error, HWND owner);

// Runs enumerate(block, &bytes, &count) with room for one record, and once
// more with the room it asked for when that was too small. Returns the last
// answer; count never exceeds the records in the block (0 on failure).
template <typename Record, typename Enumerate>
std::uint32_t EnumerateGrowingOnce(std::vector<Record>& records, std::uint32_t& count, Enumerate enumerate) {
  // No phone book or modem pool comes near this; a larger request is refused.
  constexpr std::size_t kMostRecords = 4096;
  const auto prepare = [&](std::size_t n) {
    records.assign(n, Record{});
    for (Record& record : records) record.dwSize = sizeof(Record);
    count = 0;
    return static_cast<std::uint32_t>(n * sizeof(Record));
  };
  std::uint32_t bytes = prepare(1);
  std::uint32_t answer = enumerate(records.data(), &bytes, &count);
  if (answer == ERROR_BUFFER_TOO_SMALL) {
    const std::size_t needed = (std::size_t{bytes} + sizeof(Record) - 1) / sizeof(Record);
    if (needed > kMostRecords) {
      count = 0;
      return answer;
    }
    bytes = prepare(std::max<std::size_t>(needed, 1));
    answer = enumerate(records.data(), &bytes, &count);
  }
  count = answer == 0 ? std::min<std::uint32_t>(count, static_cast<std::uint32_t>(records.size())) : 0;
  return answer;
}

// A text field of a record filled by the library, which may have left it
// unterminated.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, ::strnlen(field, N));
}

}  // namespace hv::dialup

// The engine's string table and built-in files, compiled into the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hv::res {

// Numbers of the strings the engine loads.
enum StringId : unsigned {
  IDS_USER_AGENT = 1,        // "Harvion/2.0"
  IDS_AGENT_EXTENSION = 2,   // "hvx"
  IDS_LOCAL_FILE_FORMAT = 7, // "3S%06x%s"
  IDS_CACHE_INDEX = 8,       // "Harvion Cache.hvc"
  IDS_PLACEHOLDER = 9,       // "hvempty.gif"
  IDS_STARTUP_AGENT = 11,    // "Startup Agent"
  IDS_STORED_PATTERN = 14,   // "3S*.*"
  IDS_FRAMESET = 106,        // the agent frameset page
  IDS_COPY_OF = 504,         // "Copy of %s"
  IDS_COPY_N_OF = 505,       // "Copy(%d) of %s"
  IDS_SCHEDULE_FIRST = 530,  // "Hourly" .. "Monthly" (530-534)
  IDS_CAPTION = 573,         // "Harvon Plugin"
  IDS_FILE_TYPE_FIRST = 584, // "Site map" .. "All files" (584-587)
  IDS_LOCATION_FIRST = 588,  // "Unrestricted" .. "Links outside site" (588-591)
  IDS_LOCATION_INSIDE_SERVER = 654,
};

// Numbers of the built-in files.
enum DataId : unsigned {
  IDR_PLACEHOLDER_GIF = 101,
  IDR_STARTUP_AGENT_FILE = 103,
  IDR_STARTUP_FRAMESET = 104,
};

// The string with that number, or null when there is none.
const char* FindString(unsigned id);
// The string, or empty when there is none.
std::string LoadString(unsigned id);

struct Data {
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
  bool empty() const { return size == 0; }
};
// The built-in file with that number; empty when there is none.
Data LoadData(unsigned id);

}  // namespace hv::res

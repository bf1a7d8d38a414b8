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
  IDS_HTTP_DATE_FORMAT = 4,  // "%a, %d %b %Y %H:%M:%S GMT"
  IDS_LOCAL_FILE_FORMAT = 7, // "3S%06x%s"
  IDS_CACHE_INDEX = 8,       // "Harvion Cache.hvc"
  IDS_PLACEHOLDER = 9,       // "hvempty.gif"
  IDS_STARTUP_AGENT = 11,    // "Startup Agent"
  IDS_STORED_PATTERN = 14,   // "3S*.*"
  IDS_FRAMESET = 106,        // the agent frameset page
  IDS_NEXT_RUN_FORMAT = 126, // "%a, %d %b %Y %H:%M"
  IDS_SEARCH_ENGINE_FIRST = 203,  // title, location, query string: 203-232
  IDS_SEARCH_ENGINE_COUNT = 10,
  IDS_LOCAL_SEARCH = 233,         // the eleventh triple, 233-235
  IDS_INTERRUPTED = 500,     // "<H2>Transfer Interrupted</H2></HTML>"
  IDS_NO_TEMPORARY_FILE = 501,  // "Unable to create temporary file"
  IDS_NO_CACHE_FILE = 502,      // "Unable to create cache file"
  IDS_COPY_OF = 504,         // "Copy of %s"
  IDS_COPY_N_OF = 505,       // "Copy(%d) of %s"
  IDS_NO_LOCAL_FILE = 506,   // "Unable to open local file"
  IDS_TOO_DEEP = 507,        // "Unable to nest items more than %d levels deep"
  IDS_SCHEDULE_FIRST = 530,  // "Hourly" .. "Monthly" (530-534)
  IDS_CAPTION = 573,         // "Harvon Plugin"
  IDS_FILE_TYPE_FIRST = 584, // "Site map" .. "All files" (584-587)
  IDS_LOCATION_FIRST = 588,  // "Unrestricted" .. "Links outside site" (588-591)
  IDS_RAS_STATE_FIRST = 609,    // "Opening Port" .. "Waiting For Callback" (609-626), states 0-17
  IDS_RAS_INTERACTIVE = 627,    // "Interactive" .. "Password Expired" (627-630), states 0x1000-0x1003
  IDS_RAS_CONNECTED = 631,      // "Connected", then "Disconnected" (632)
  IDS_RAS_UNDEFINED = 633,      // "Undefine Ras Error Code"
  IDS_RAS_CONNECTING_TO = 634,  // "Connecting to "
  IDS_RAS_NO_CONNECTION = 635,  // "Please specify a valid connection to use"
  IDS_RAS_COULD_NOT_DIAL = 636, // "Could not dial"
  IDS_SCHEDULE_NO_NAME = 637,       // "You must specify a name for the schedule"
  IDS_SCHEDULE_NAME_IN_USE = 638,   // "This name is in use."
  IDS_SCHEDULE_BAD_TIME = 639,      // "This doesn't seem to be a valid hour specification. ..."
  IDS_SCHEDULE_NO_DAY = 640,        // "You must select at least one day ..."
  IDS_DESCRIBE_FIRST = 641,         // one line per kind, Hourly .. Monthly (641-644)
  IDS_DESCRIBE_EVERY_MINUTE = 653,  // the periodic line for a period of one minute
  IDS_DESCRIBE_ONE_MINUTE_PAST = 656,  // the hourly line for minute 1
  IDS_DAY_FIRST = 645,              // "Sunday" .. "Saturday" (645-651)
  IDS_SCHEDULE_START_AFTER_END = 652,  // "Start time must be before end time."
  IDS_LOCATION_INSIDE_SERVER = 654,
  // Names of the settings store's keys and values.
  IDS_REG_SOFTWARE = 900,          // "Software"
  IDS_REG_COMPANY = 901,           // "Tessarine"
  IDS_REG_PRODUCT = 902,           // "Harvion Plugin"
  IDS_REG_VERSION = 903,           // "3.0"
  IDS_REG_PROXY = 904,             // "Proxy"
  IDS_REG_PROXY_SERVER = 905,      // "HTTP Proxy Server"
  IDS_REG_PROXY_PORT = 906,        // "HTTP Proxy Port"
  IDS_REG_USE_PROXY = 907,         // "Use Proxy"
  IDS_REG_CACHE = 908,             // "Cache"
  IDS_REG_DIRECTORY = 909,         // "Directory"
  IDS_REG_AGENTS = 910,            // "Agents"
  IDS_REG_USER_AGENT = 911,        // "User Agent"
  IDS_REG_CONNECTIONS = 912,       // "Connections"
  IDS_REG_THREADS = 913,           // "Threads"
  IDS_REG_TIMEOUT = 914,           // "Timeout"
  IDS_REG_AUTODIAL = 915,          // "Enable Autodial"
  IDS_REG_CONNECTION_NAME = 916,   // "Connection Name"
  IDS_REG_SEARCH_ENGINES = 917,    // "Search Engines"
  IDS_REG_QUERY_STRING = 918,      // "Query String"
  IDS_REG_AUTHENTICATION = 919,    // "Authentication"
  IDS_REG_PASSWORD = 920,          // "Password"
  IDS_REG_SCHEDULE = 921,          // "Schedule"
  IDS_REG_ENABLE_SCHEDULE = 922,   // "Enable Schedule"
  IDS_REG_SETTINGS = 923,          // "Settings"
  IDS_REG_RUN = 924,               // "Run"
  IDS_REG_MAX_PAGE_SIZE = 925,     // "Max Page Size"
  IDS_REG_SERVER = 926,            // "Server"
  IDS_REG_REALM = 927,             // "Realm"
  IDS_REG_KEEP_ALIVE = 930,        // "Keep Alive"
  IDS_REG_CA_FILE = 931,           // "CA File"
  IDS_REG_ON_CHANGE = 935,         // "On Change"
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
// Creates (or truncates) the file and writes the built-in file into it. A
// missing built-in file writes nothing; false on any failure, never a throw.
bool WriteResourceFile(const std::string& path, unsigned id);

}  // namespace hv::res

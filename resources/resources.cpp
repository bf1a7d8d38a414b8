// The built-in files, embedded at build time.
#include <cstddef>
#include <cstdint>

#include "platform/files/file_system.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

extern const std::uint8_t hv_res_startup_agent_hvx_data[];
extern const std::size_t hv_res_startup_agent_hvx_size;
extern const std::uint8_t hv_res_startup_agent_htm_data[];
extern const std::size_t hv_res_startup_agent_htm_size;
extern const std::uint8_t hv_res_hvempty_gif_data[];
extern const std::size_t hv_res_hvempty_gif_size;

namespace hv::res {

Data LoadData(unsigned id) {
  switch (id) {
    case IDR_PLACEHOLDER_GIF:
      return {hv_res_hvempty_gif_data, hv_res_hvempty_gif_size};
    case IDR_STARTUP_AGENT_FILE:
      return {hv_res_startup_agent_hvx_data, hv_res_startup_agent_hvx_size};
    case IDR_STARTUP_FRAMESET:
      return {hv_res_startup_agent_htm_data, hv_res_startup_agent_htm_size};
    default:
      return {};
  }
}

bool WriteResourceFile(const std::string& path, unsigned id) {
  const Data data = LoadData(id);
  if (data.empty()) return false;
  try {
    fs::WriteWholeFile(path, data.bytes, data.size);
    return true;
  } catch (const CException&) {
    return false;
  }
}

}  // namespace hv::res

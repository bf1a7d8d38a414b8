#include "engine/settings/settings_store.h"

#include <algorithm>
#include <cstring>

#include "harvion/settings.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"

namespace hv::settings {

bool BaseKeyPath(std::string& out) {
  out.clear();
  for (unsigned id : {res::IDS_REG_SOFTWARE, res::IDS_REG_COMPANY, res::IDS_REG_PRODUCT, res::IDS_REG_VERSION}) {
    const char* part = res::FindString(id);
    if (!part) {
      out.clear();
      return false;
    }
    if (!out.empty()) out += '\\';
    out += part;
  }
  return true;
}

bool KeyPath(unsigned keyId, std::string& out) {
  const char* name = res::FindString(keyId);
  if (!name || !BaseKeyPath(out)) {
    out.clear();
    return false;
  }
  out += '\\';
  out += name;
  return true;
}

std::string ValueName(unsigned valueId) { return valueId == 0 ? std::string() : res::LoadString(valueId); }

bool ReadString(const std::string& key, unsigned valueId, std::string& out) {
  out.clear();
  return !key.empty() && reg::ReadString(key, ValueName(valueId), out);
}

bool ReadDWord(const std::string& key, unsigned valueId, std::uint32_t& out) {
  out = 0;
  return !key.empty() && reg::ReadDWord(key, ValueName(valueId), out);
}

bool ReadBinary(const std::string& key, unsigned valueId, std::uint8_t* buffer, std::size_t size) {
  std::fill(buffer, buffer + size, std::uint8_t{0});
  std::vector<std::uint8_t> bytes;
  if (key.empty() || !reg::ReadBinary(key, ValueName(valueId), bytes) || bytes.size() > size) return false;
  std::copy(bytes.begin(), bytes.end(), buffer);
  return true;
}

bool WriteString(const std::string& key, unsigned valueId, const std::string& value) {
  return !key.empty() && reg::WriteString(key, ValueName(valueId), value);
}

bool WriteDWord(const std::string& key, unsigned valueId, std::uint32_t value) {
  return !key.empty() && reg::WriteDWord(key, ValueName(valueId), value);
}

bool WriteBinary(const std::string& key, unsigned valueId, const std::uint8_t* bytes, std::size_t length) {
  return !key.empty() && reg::WriteBinary(key, ValueName(valueId), std::vector<std::uint8_t>(bytes, bytes + length));
}

bool DeleteValue(const std::string& key, unsigned valueId) {
  return !key.empty() && reg::DeleteValue(key, ValueName(valueId));
}

bool DeleteSubKeys(const std::string& key) { return !key.empty() && reg::DeleteSubKeys(key); }

}  // namespace hv::settings

CStringEnumerator::~CStringEnumerator() = default;

namespace {

// Names and default values were read into 260-byte buffers.
std::string Cut(std::string text) {
  if (text.size() > 259) text.resize(259);
  return text;
}

}  // namespace

void KeyEnumerate(HKEY root, const char* key, CStringEnumerator* enumerator) {
  try {
    if (root != HKEY_CURRENT_USER || !key || !enumerator) return;
    for (const std::string& name : hv::reg::SubKeys(key)) {
      std::string value;
      hv::reg::ReadString(std::string(key) + '\\' + name, std::string(), value);
      if (!enumerator->Enumerate(Cut(name).c_str(), Cut(value).c_str())) break;
    }
  } catch (...) {
    // The store's failures read as the end of the list.
  }
}

int EnsureProgramFolder(const char* folder) {
  try {
    std::string base;
    if (!hv::settings::BaseKeyPath(base)) return 0;
    std::string current;
    if (hv::reg::ReadString(base, std::string(), current) && !current.empty()) return 1;
    if (!folder || !*folder) return 0;
    return hv::reg::WriteString(base, std::string(), folder) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

// The engine's view of the settings store: keys below the product's base key,
// with key and value names taken from the string table at every use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hv::settings {

// "Software\Tessarine\Harvion Plugin\3.0"; false when a name is missing from
// the string table (every operation then does nothing).
bool BaseKeyPath(std::string& out);
// The base key followed by the named subkey (a string id); false as above.
bool KeyPath(unsigned keyId, std::string& out);
// The name of a value; id 0 is the default value.
std::string ValueName(unsigned valueId);

// Readers: false and the output's default (empty, 0) when the key or the
// value is missing.
bool ReadString(const std::string& key, unsigned valueId, std::string& out);
bool ReadDWord(const std::string& key, unsigned valueId, std::uint32_t& out);
// Zero-fills the buffer first; succeeds only when the stored value fits.
bool ReadBinary(const std::string& key, unsigned valueId, std::uint8_t* buffer, std::size_t size);

// Writers create the key. False when the store could not be written.
bool WriteString(const std::string& key, unsigned valueId, const std::string& value);
bool WriteDWord(const std::string& key, unsigned valueId, std::uint32_t value);
bool WriteBinary(const std::string& key, unsigned valueId, const std::uint8_t* bytes, std::size_t length);
bool DeleteValue(const std::string& key, unsigned valueId);
bool DeleteSubKeys(const std::string& key);

}  // namespace hv::settings

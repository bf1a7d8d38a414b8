#include "strategy_names.h"

#include <cstring>
#include <memory>

#include "harvion/global_memory.h"
#include "harvion/saf_client.h"

namespace harvion {

namespace {

struct FreeBlock {
  void operator()(HGLOBAL block) const { GlobalFree(block); }
};
using OwnedBlock = std::unique_ptr<HGLOBAL__, FreeBlock>;

std::vector<std::string> NamesIn(OwnedBlock block) {
  if (!block) return {};
  const auto* bytes = static_cast<const unsigned char*>(GlobalLock(block.get()));
  if (!bytes) return {};
  std::vector<std::string> names = UnpackNames(bytes, GlobalSize(block.get()));
  GlobalUnlock(block.get());
  return names;
}

}  // namespace

StrategyNames StrategyNames::OfOpenAgent() {
  return {NamesIn(OwnedBlock(CSafClient::GetFileTypeList())), NamesIn(OwnedBlock(CSafClient::GetConstraintList()))};
}

std::vector<std::string> UnpackNames(const unsigned char* bytes, std::size_t size) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < size && bytes[at] != 0xFF) {
    const std::size_t start = at + 1;  // past the id byte
    const void* end = start < size ? std::memchr(bytes + start, 0, size - start) : nullptr;
    if (!end) break;
    const auto length = static_cast<std::size_t>(static_cast<const unsigned char*>(end) - (bytes + start));
    names.emplace_back(reinterpret_cast<const char*>(bytes + start), length);
    at = start + length + 1;
  }
  return names;
}

}  // namespace harvion

#include "pages/item_records.h"

#include <cstring>

#include "harvion/global_memory.h"
#include "harvion/saf_node.h"

namespace hvui {

namespace {

constexpr int kAgentKind = 1;
constexpr int kAgentTexts = 32;  // the agent record's texts start here

std::uint32_t DWordAt(const QByteArray& block, int at) {
  std::uint32_t value = 0;
  if (at >= 0 && at + 4 <= block.size()) std::memcpy(&value, block.constData() + at, 4);
  return value;
}

void PutDWord(QByteArray& bytes, std::uint32_t value) { bytes.append(reinterpret_cast<const char*>(&value), 4); }

// The zero-terminated text at the offset given at `field`, counted from
// `base`; empty when it lies outside the block or runs off its end.
std::string TextAt(const QByteArray& block, int field, int base) {
  const std::uint64_t at = std::uint64_t{DWordAt(block, field)} + static_cast<std::uint64_t>(base);
  if (at >= static_cast<std::uint64_t>(block.size())) return {};
  const char* start = block.constData() + at;
  const void* end = std::memchr(start, 0, static_cast<std::size_t>(block.size()) - at);
  return end ? std::string(start, static_cast<const char*>(end)) : std::string();
}

}  // namespace

QByteArray AgentRecord::Bytes() const {
  // The texts in the order the engine writes them: author, comments,
  // organization, then the folder it ignores on writing.
  const std::uint32_t atAuthor = 0;
  const auto atComments = static_cast<std::uint32_t>(author.size() + 1);
  const auto atOrganization = static_cast<std::uint32_t>(atComments + comments.size() + 1);
  const auto atFolder = static_cast<std::uint32_t>(atOrganization + organization.size() + 1);
  QByteArray bytes;
  for (const std::uint32_t value :
       {std::uint32_t{kAgentKind}, sizeLimit, fileCount, byteCount, atAuthor, atOrganization, atComments, atFolder})
    PutDWord(bytes, value);
  for (const std::string* text : {&author, &comments, &organization, &folder}) bytes.append(text->c_str(), text->size() + 1);
  return bytes;
}

std::optional<AgentRecord> ReadAgentRecord(const QByteArray& block) {
  if (block.size() < kAgentTexts || DWordAt(block, 0) != kAgentKind) return std::nullopt;
  AgentRecord record;
  record.sizeLimit = DWordAt(block, 4);
  record.fileCount = DWordAt(block, 8);
  record.byteCount = DWordAt(block, 12);
  record.author = TextAt(block, 16, kAgentTexts);
  record.organization = TextAt(block, 20, kAgentTexts);
  record.comments = TextAt(block, 24, kAgentTexts);
  record.folder = TextAt(block, 28, kAgentTexts);
  return record;
}

QByteArray NodeRecordLocked(CSafNode& node) {
  HGLOBAL handle = node.GetDataHandle(itemRecord);
  if (!handle) return {};
  QByteArray bytes;
  if (const void* data = GlobalLock(handle)) {
    bytes = QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(GlobalSize(handle)));
    GlobalUnlock(handle);
  }
  GlobalFree(handle);
  return bytes;
}

}  // namespace hvui

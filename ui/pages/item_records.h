// The record the engine hands out for an agent (itemRecord), read from its
// block and written back. Offsets in a block are the engine's and are
// checked: a record is an answer to distrust.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string>

#include "harvion/types.h"

class CSafNode;

namespace hvui {

struct AgentRecord {
  std::uint32_t sizeLimit = 0;  // kilobytes; 0: none
  std::uint32_t fileCount = 0;
  std::uint32_t byteCount = 0;
  std::string author, organization, comments;
  std::string folder;  // the agent's cache folder

  // The record's bytes as the engine takes them back.
  QByteArray Bytes() const;
};

// Of the block's bytes; nullopt when it is not an agent's record.
std::optional<AgentRecord> ReadAgentRecord(const QByteArray& block);

// The node's record block, copied; empty when it has none. Call with the
// engine's lock held.
QByteArray NodeRecordLocked(CSafNode& node);

}  // namespace hvui

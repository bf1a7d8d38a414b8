#include "shell/shared_block.h"

#include <unistd.h>

namespace hvui {

namespace {

// Longest name a shared-memory object may have after its "/".
constexpr std::size_t kMaxName = 255;

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

std::string SharedBlock::NameFor(const QString& frameTitle) {
  std::string name = "/harvion." + std::to_string(::geteuid()) + ".";
  for (char c : frameTitle.toUtf8().toStdString()) {
    if (name.size() > kMaxName) break;
    name += IsNameCharacter(c) ? c : '_';
  }
  return name;
}

SharedBlock::SharedBlock(const QString& frameTitle) : m_block(NameFor(frameTitle), true) {}

}  // namespace hvui

// What reading an agent file needs besides the bytes.
#pragma once

#include <vector>

class CAnchor;
class CCache;

namespace hv {

struct AgentLoadContext {
  unsigned long version = 0;  // the file's version, passed to the user interface
  CCache* cache = nullptr;    // where page addresses are looked up
  std::vector<CAnchor*> stack;  // anchors whose children are being read

  CAnchor* EnclosingAnchor() const { return stack.empty() ? nullptr : stack.back(); }
};

}  // namespace hv

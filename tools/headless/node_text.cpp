#include "node_text.h"

#include <vector>

#include "harvion/saf_node.h"

namespace harvion {

std::string NodeText(CSafNode* node, int item) {
  if (!node) return {};
  char probe = 0;
  int needed = node->GetData(item, &probe, 1);
  // The size includes the terminator. Retry a few times in case the text
  // grew between the two calls (a rename from another thread).
  for (int attempt = 0; attempt < 3 && needed > 1; ++attempt) {
    std::vector<char> buffer(static_cast<std::size_t>(needed), '\0');
    const int again = node->GetData(item, buffer.data(), needed);
    if (again <= needed) return std::string(buffer.data());
    needed = again;
  }
  return {};
}

}  // namespace harvion

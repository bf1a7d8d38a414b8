// harvion config: the global settings, shown and changed by name.
#include <algorithm>
#include <iostream>

#include "commands.h"
#include "failure.h"
#include "harvion/settings.h"

namespace harvion {

namespace {

void PrintItem(const CEngineSettings::Item& item, std::size_t width) {
  const std::string value = item.value.empty() ? "\"\"" : item.value;
  std::cout << item.name << std::string(width - item.name.size() + 2, ' ') << value << "  ("
            << (item.stored ? "stored" : "default") << ")\n";
}

}  // namespace

void RunConfig(const Invocation& invocation, HeadlessUIClient&) {
  const std::vector<std::string>& args = invocation.operands;
  if (args.size() == 2) {
    const std::string refusal = CEngineSettings::Change(args[0], args[1]);
    if (!refusal.empty()) throw Failure(refusal);
  }
  const std::vector<CEngineSettings::Item> items = CEngineSettings::List();
  std::size_t width = 0;
  for (const auto& item : items) width = std::max(width, item.name.size());
  bool found = args.empty();
  for (const auto& item : items) {
    if (!args.empty() && item.name != args[0]) continue;
    PrintItem(item, width);
    found = true;
  }
  if (!found) throw Failure("no setting named '" + args[0] + "'");
}

}  // namespace harvion

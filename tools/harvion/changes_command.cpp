// harvion changes: what a run of an agent changed, from its run log.
#include <algorithm>
#include <charconv>
#include <iostream>

#include "change_output.h"
#include "change_view.h"
#include "commands.h"
#include "failure.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "run_log.h"

namespace harvion {

namespace {

// 0 for the last run.
unsigned RunNumber(const Invocation& invocation) {
  const std::string* text = invocation.Option("--run");
  if (!text || *text == "last") return 0;
  unsigned number = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
  if (error != std::errc() || end != text->data() + text->size() || number == 0)
    throw Failure("--run must be last or a run number");
  return number;
}

}  // namespace

void RunChanges(const Invocation& invocation, HeadlessUIClient&) {
  const std::string& name = invocation.operands[0];
  const std::string* format = invocation.Option("--format");
  const std::string kind = format ? *format : "text";
  if (kind != "text" && kind != "html" && kind != "json") throw Failure("--format must be text, html or json");
  const unsigned number = RunNumber(invocation);
  if (name.empty() || !CSafClient::DoesAgentExist(name.c_str())) throw Failure("no agent named '" + name + "'");

  const std::string folder = GetAgentsDirectory() + "/" + name;
  std::vector<LoggedRun> runs = RunLog::Read(folder);
  if (runs.empty()) throw Failure("agent '" + name + "' has no run recorded");
  auto run = runs.end() - 1;
  if (number != 0) {
    run = std::find_if(runs.begin(), runs.end(), [number](const LoggedRun& r) { return r.number == number; });
    if (run == runs.end())
      throw Failure("agent '" + name + "' has no run " + std::to_string(number) + "; the runs kept are " +
                    std::to_string(runs.front().number) + " to " + std::to_string(runs.back().number));
  }
  const bool latest = run == runs.end() - 1;
  const ChangeView view = MakeChangeView(name, folder, std::move(*run), latest);
  if (kind == "html")
    std::cout << ChangesHtml(view);
  else if (kind == "json")
    WriteChangesJson(std::cout, view);
  else
    WriteChangesText(std::cout, view);
}

}  // namespace harvion

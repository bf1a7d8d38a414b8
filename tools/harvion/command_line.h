// The command line: which command to run, with which arguments and options.
// Each command is one row of the table in command_line.cpp.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace harvion {

class HeadlessUIClient;
struct Invocation;

// Throws Failure when the command cannot be done.
using CommandHandler = void (*)(const Invocation& invocation, HeadlessUIClient& client);

struct CommandSpec {
  std::string_view name;
  std::string_view operands;  // as the usage shows them, e.g. "NAME URL"
  std::size_t minOperands;
  std::size_t maxOperands;
  std::vector<std::string_view> options;  // long names the command takes
  std::string_view summary;
  CommandHandler run;
};

struct Invocation {
  const CommandSpec* command = nullptr;
  std::vector<std::string> operands;
  std::map<std::string, std::string, std::less<>> options;

  // The option's value, or null when it was not given.
  const std::string* Option(std::string_view name) const;
};

struct ParsedLine {
  enum class Outcome { run, help, version, usageError };
  Outcome outcome = Outcome::usageError;
  // For help: the command whose help is asked for, or null for all.
  Invocation invocation;
  std::string error;  // for a usage error: one line, without the program name
};

// The arguments after the program name.
ParsedLine ParseCommandLine(const std::vector<std::string_view>& args);
// Every command and option.
std::string UsageText();
// One command's synopsis, what it does and its options.
std::string CommandHelp(const CommandSpec& command);
// "harvion 3.0": the version the desktop program's About shows.
std::string VersionText();

}  // namespace harvion

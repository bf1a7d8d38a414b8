#include "command_line.h"

#include <algorithm>

#include "commands.h"

namespace harvion {

namespace {

struct OptionSpec {
  std::string_view name;
  std::string_view value;
  std::string_view help;
};

const std::vector<OptionSpec>& Options() {
  static const std::vector<OptionSpec> options = {
      {"--title", "TEXT", "(add) Name of the new location; without it, the location shows its address."},
      {"--links", "", "(cache) Also print each link found on a page, with its type and text."},
      {"--in", "FOLDER",
       "(add, folder, import) Put the new items into FOLDER: folder names from the agent's top level down, "
       "joined by '/', e.g. News/Local. Inside a name, write '/' as \\/ and '\\' as \\\\ (tree shows "
       "names so)."},
  };
  return options;
}

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> commands = {
      {"new", "NAME", 1, 1, {}, "Create an empty agent named NAME.", RunNew},
      {"tree", "[NAME]", 0, 1, {},
       "Print the items of agent NAME with their retrieval settings, one a line; without NAME, "
       "those of the Startup Agent (created when missing).",
       RunTree},
      {"add", "NAME URL", 2, 2, {"--title", "--in"},
       "Add the web location URL (an http: address) to agent NAME.", RunAdd},
      {"folder", "NAME FOLDER", 2, 2, {"--in"}, "Add a folder named FOLDER to agent NAME.", RunFolder},
      {"import", "NAME FILE", 2, 2, {"--in"},
       "Add to agent NAME a web location for every absolute http link of the local HTML file FILE (a "
       "bookmark file, say), named by the link's text, and print how many were added. Links that the "
       "agent's cache has no room for are counted in a message, and the command fails.",
       RunImport},
      {"rename", "NAME NEW", 2, 2, {}, "Rename agent NAME to NEW, with its file and its folder.", RunRename},
      {"delete", "NAME", 1, 1, {}, "Delete agent NAME with its file, its folder and everything retrieved.",
       RunDelete},
      {"list", "", 0, 0, {}, "List the agents in the agents folder, sorted, one a line.", RunList},
      {"cache", "NAME", 1, 1, {"--links"},
       "Print what agent NAME's cache index knows, one address a line: state, local file, when it was "
       "retrieved, stored and last modified, status, content type, title and number of links.",
       RunCache},
      {"gc", "NAME", 1, 1, {}, "Drop from agent NAME's cache every page none of its items uses any more.", RunGc},
      {"clear", "NAME", 1, 1, {}, "Delete everything agent NAME has retrieved; its items stay.", RunClear},
      {"frameset", "NAME URL", 2, 2, {},
       "Write the page that shows agent NAME beside URL (a web address or a stored file) and print its path.",
       RunFrameSet},
      {"config", "[KEY [VALUE]]", 0, 2, {},
       "Print every setting with its value and whether it is stored or the default; with KEY, that "
       "setting; with KEY and VALUE, change it first. Keys: proxy-server, proxy-port, use-proxy, "
       "threads (1-63), timeout (seconds), autodial, connection, agents-folder, user-agent.",
       RunConfig},
  };
  return commands;
}

const OptionSpec* FindOption(std::string_view name) {
  for (const OptionSpec& option : Options())
    if (option.name == name) return &option;
  return nullptr;
}

const CommandSpec* FindCommand(std::string_view name) {
  for (const CommandSpec& command : Commands())
    if (command.name == name) return &command;
  return nullptr;
}

std::string Synopsis(const CommandSpec& command) {
  std::string text = "harvion " + std::string(command.name);
  if (!command.operands.empty()) text += " " + std::string(command.operands);
  for (std::string_view name : command.options) {
    const std::string_view value = FindOption(name)->value;
    text += " [" + std::string(name) + (value.empty() ? "" : " " + std::string(value)) + "]";
  }
  return text;
}

ParsedLine UsageError(std::string message) {
  ParsedLine line;
  line.outcome = ParsedLine::Outcome::usageError;
  line.error = std::move(message);
  return line;
}

bool LooksLikeOption(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

const std::string* Invocation::Option(std::string_view name) const {
  const auto found = options.find(name);
  return found == options.end() ? nullptr : &found->second;
}

ParsedLine ParseCommandLine(const std::vector<std::string_view>& args) {
  std::vector<std::string_view> words;
  std::map<std::string, std::string, std::less<>> given;
  std::string firstError;  // help still wins over a mistake elsewhere
  bool help = false;
  bool optionsEnded = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnded || !LooksLikeOption(arg)) {
      words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      help = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name(arg.substr(0, equals));
    std::string error;
    const OptionSpec* option = FindOption(name);
    if (!option) {
      error = "unknown option '" + name + "'";
    } else if (given.count(name)) {
      error = "option '" + name + "' given twice";
    } else if (option->value.empty()) {
      // A switch: present or not.
      if (equals != std::string_view::npos)
        error = "option '" + name + "' takes no value";
      else
        given[name] = std::string();
    } else if (equals != std::string_view::npos) {
      given[name] = std::string(arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      given[name] = std::string(args[++i]);
    } else {
      error = "option '" + name + "' needs a value";
    }
    if (firstError.empty()) firstError = error;
  }

  if (help) {
    ParsedLine line;
    line.outcome = ParsedLine::Outcome::help;
    return line;
  }
  if (!firstError.empty()) return UsageError(firstError);
  if (words.empty()) return UsageError("no command given");

  const CommandSpec* command = FindCommand(words.front());
  if (!command) return UsageError("unknown command '" + std::string(words.front()) + "'");
  const std::size_t count = words.size() - 1;
  if (count < command->minOperands) return UsageError("missing arguments; usage: " + Synopsis(*command));
  if (count > command->maxOperands) return UsageError("too many arguments; usage: " + Synopsis(*command));
  for (const auto& [name, value] : given) {
    const auto& allowed = command->options;
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end())
      return UsageError("option '" + name + "' does not apply to '" + std::string(command->name) + "'");
  }

  ParsedLine line;
  line.outcome = ParsedLine::Outcome::run;
  line.invocation.command = command;
  line.invocation.operands.assign(words.begin() + 1, words.end());
  line.invocation.options = std::move(given);
  return line;
}

std::string UsageText() {
  std::string text =
      "Usage: harvion COMMAND [ARGUMENT...] [OPTION...]\n"
      "Create, edit and inspect Harvion agents without a window.\n"
      "\n"
      "Commands:\n";
  for (const CommandSpec& command : Commands())
    text += "  " + Synopsis(command) + "\n      " + std::string(command.summary) + "\n";
  text += "\nOptions (anywhere after the command):\n";
  for (const OptionSpec& option : Options()) {
    const std::string head =
        std::string(option.name) + (option.value.empty() ? "" : " " + std::string(option.value));
    text += "  " + head + "\n      " + std::string(option.help) + "\n";
  }
  text +=
      "  -h, --help\n"
      "      Print this help and exit.\n"
      "  --\n"
      "      End of options: every later word is an argument, even one starting with '-'.\n"
      "\n"
      "Commands that change an agent wait while another command or program changes the same agent;\n"
      "tree and cache only read it and never wait.\n"
      "Exit status: 0 on success, 1 when the command fails, 2 on a usage error.\n"
      "Environment: HARVION_HOME is the folder for settings and agents\n"
      "(default: $XDG_DATA_HOME/harvion, else ~/.local/share/harvion).\n";
  return text;
}

}  // namespace harvion

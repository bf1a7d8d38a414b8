#include "command_line.h"

#include <algorithm>

#include "commands.h"
#include "nearest_word.h"

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
      {"--levels", "N|all", "(set) Follow links N levels deep from each location (0: the page only), or all."},
      {"--files", "KIND",
       "(set) What to retrieve: sitemap (the pages' links only), text, graphics (text and graphics) or all "
       "(all file types)."},
      {"--confine", "WHERE",
       "(set) Which links to follow: unrestricted, site (within the page's site), directory (in the page's "
       "directory or below it), outside (only outside the location's site) or server (on the page's server)."},
      {"--exclude-types", "LIST",
       "(set) Use the agent's file-type list named LIST, with the extensions it excludes; a built-in list "
       "(\"Site map\", \"Text only\", \"Text and graphics\", \"All files\") also sets --files."},
      {"--exclude-locations", "LIST",
       "(set) Use the agent's location list named LIST, with the addresses it excludes; a built-in list "
       "(\"Unrestricted\", \"Links within site\", ...) also sets --confine."},
      {"--requisites", "FROM",
       "(set) Where the stylesheets, scripts, fonts and images a stored page needs may come from: strategy "
       "(the servers --confine follows; the default) or any-server (also content delivery hosts, whose "
       "page links are never followed)."},
      {"--inherit", "", "(set) Use the parent's settings from now on."},
      {"--schedule", "NAME|none|inherit",
       "(set) Run the item unattended on the schedule NAME (see schedule). none: no schedule of its own, so "
       "an item follows its parent's, as with inherit, and an agent is not run unattended."},
      {"--engine", "NAME", "(search) Keep only the search engine named NAME (letter case aside)."},
      {"--in", "FOLDER",
       "(add, folder, import, search) Put the new items into FOLDER: folder names from the agent's top level down, "
       "joined by '/', e.g. News/Local. Inside a name, write '/' as \\/ and '\\' as \\\\ (tree shows "
       "names so)."},
      {"--kind", "KIND",
       "(schedule) hourly, periodic (every few minutes within hours of the day), daily (at one time on the "
       "days given), weekly (daily on one day) or monthly (at one time on one day of every month)."},
      {"--minute", "N", "(schedule) Hourly: run N minutes after the hour (0-59)."},
      {"--days", "DAYS",
       "(schedule) Hourly, periodic, daily and weekly: the days to run on, as sun,mon,tue,wed,thu,fri,sat "
       "(any of them, or full names), weekdays or all."},
      {"--every", "MIN", "(schedule) Periodic: run every MIN minutes (1-1439)."},
      {"--between", "TIME", "(schedule) Periodic: the first run of the day, as \"10:15 AM\" or 10:15."},
      {"--and", "TIME", "(schedule) Periodic: no run after this time of day, as \"04:15 PM\" or 16:15."},
      {"--at", "TIME",
       "(schedule) Daily, weekly and monthly: the time of day to run at, as \"08:00 AM\" or 08:00 (24-hour)."},
      {"--day", "N", "(schedule) Monthly: the day of the month (1-31)."},
      {"--run", "last|N", "(changes) The run to report: the last one (the default) or run number N."},
      {"--format", "FORMAT", "(changes) text (the default), html (the page changes.html holds) or json."},
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
       "Add the web location URL (an http: or https: address) to agent NAME.", RunAdd},
      {"folder", "NAME FOLDER", 2, 2, {"--in"}, "Add a folder named FOLDER to agent NAME.", RunFolder},
      {"import", "NAME FILE", 2, 2, {"--in"},
       "Add to agent NAME a web location for every absolute http or https link of the local HTML file FILE (a "
       "bookmark file, say), named by the link's text, and print how many were added and how many links were "
       "skipped, by reason. Links that the agent's cache has no room for are counted in a message, and the "
       "command fails.",
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
       "Write the page that shows agent NAME beside URL (a web address or a stored file) and print its path; "
       "the agent's contents.html is written again beside it.",
       RunFrameSet},
      {"run", "NAME [ITEM]", 1, 2, {},
       "Retrieve agent NAME, or only ITEM of it (a path of names as for --in, a location named by its name "
       "or address), following its settings. On a terminal one line shows the pages done of those queued, "
       "the bytes received and the page being fetched; otherwise each finished page prints its status and "
       "address. Ctrl-C stops the run and keeps what arrived. At the end it lists the pages new, modified, "
       "gone and failed in this run with their files, the totals, and the page for reading the agent "
       "offline. Fails when the run cannot start, the agent cannot be saved, the run was stopped (Ctrl-C: a "
       "last line counts the pages not fetched) or a location of the agent (not a page found by a link) failed.",
       RunRun},
      {"changes", "NAME", 1, 1, {"--run", "--format"},
       "Print what a run of agent NAME changed, as its run left the agent's changes.html: the pages new, "
       "modified, gone and failed (with why), each with its title, address and stored file, and for each "
       "modified page the words of its text removed and added, with a few words around them. The agent "
       "keeps its last 20 runs; the words are shown for the last one, whose earlier copies are still there.",
       RunChanges},
      {"set", "NAME [ITEM]", 1, 2, {"--levels", "--files", "--confine", "--exclude-types", "--exclude-locations",
       "--requisites", "--inherit", "--schedule"},
       "Change the retrieval settings or the schedule of agent NAME, or of ITEM in it (as for run); what is "
       "not given stays as it is in effect.",
       RunSet},
      {"search", "NAME TEXT", 2, 2, {"--engine", "--in"},
       "Add to agent NAME a search folder that sends TEXT to each search engine at every run, and print it.",
       RunSearch},
      {"config", "[KEY [VALUE]]", 0, 2, {},
       "Print every setting with its value and whether it is stored or the default; with KEY, that "
       "setting; with KEY and VALUE, change it first. Keys: proxy-server, proxy-port, use-proxy, "
       "threads (1-63), timeout (seconds), autodial, connection, max-page-size (kilobytes one page may "
       "have, 1 GiB by default), agents-folder, user-agent, keep-alive (HTTP/1.1 to http: servers too), "
       "ca-file (certificates trusted for https: beside the system's; empty for none), on-change (a command "
       "run after a run that found changes, with what it found in its environment; empty for none).",
       RunConfig},
      {"schedule", "[on|off|add NAME|modify NAME|remove NAME]", 0, 2,
       {"--kind", "--minute", "--days", "--every", "--between", "--and", "--at", "--day"},
       "Print whether unattended runs are on, and each schedule with what it does and its next run. on and "
       "off turn unattended runs on and off. add makes a schedule (--kind needed; what is not given takes "
       "the defaults: minute 15, all days, at or between 10:15 AM and 04:15 PM, every 25 minutes, day 15); "
       "modify changes only what is given; remove deletes one, and items on it then follow their parents' "
       "schedule.",
       RunSchedule},
      // Answered by the parser: no handler.
      {"help", "[COMMAND]", 0, 1, {}, "Print the help of COMMAND alone, or of every command.", nullptr},
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

// Text broken into lines of at most width columns at spaces, each line
// after the first indented as given; a word longer than a line stays whole.
std::string Wrapped(std::string_view text, std::size_t indent, std::size_t width = 79) {
  std::string out;
  std::size_t column = indent;
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    if (column > indent && column + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
  return out;
}

// An option's help without the "(add, folder) " that names its commands.
std::string_view OwnHelp(std::string_view help) {
  const std::size_t close = help.find(") ");
  return help.starts_with('(') && close != std::string_view::npos ? help.substr(close + 2) : help;
}

std::string OptionEntry(const OptionSpec& option, bool ownHelp) {
  const std::string head = std::string(option.name) + (option.value.empty() ? "" : " " + std::string(option.value));
  return "  " + head + "\n      " + Wrapped(ownHelp ? OwnHelp(option.help) : option.help, 6) + "\n";
}

std::vector<std::string_view> CommandNames() {
  std::vector<std::string_view> names;
  for (const CommandSpec& command : Commands()) names.push_back(command.name);
  return names;
}

// The options a mistyped one may have meant: the command's own when it is
// known, else every option.
std::vector<std::string_view> OptionNames(const CommandSpec* command) {
  std::vector<std::string_view> names = {"--help", "--version"};
  if (command) {
    names.insert(names.end(), command->options.begin(), command->options.end());
  } else {
    for (const OptionSpec& option : Options()) names.push_back(option.name);
  }
  return names;
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
  std::string unknownOption;
  bool help = false;
  bool version = false;
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
    if (arg == "--version") {
      version = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name(arg.substr(0, equals));
    std::string error;
    const OptionSpec* option = FindOption(name);
    if (!option) {
      error = "unknown option '" + name + "'";
      if (firstError.empty()) unknownOption = name;
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

  const CommandSpec* command = words.empty() ? nullptr : FindCommand(words.front());
  if (help || version) {
    ParsedLine line;
    line.outcome = help ? ParsedLine::Outcome::help : ParsedLine::Outcome::version;
    // "help" itself has no help of its own: it is the whole text.
    if (command && command->run) line.invocation.command = command;
    return line;
  }
  if (!unknownOption.empty()) return UsageError(firstError + DidYouMean(unknownOption, OptionNames(command)));
  if (!firstError.empty()) return UsageError(firstError);
  if (words.empty()) return UsageError("no command given");
  if (!command) {
    const std::string word(words.front());
    return UsageError("unknown command '" + word + "'" + DidYouMean(word, CommandNames()));
  }
  const std::size_t count = words.size() - 1;
  if (count < command->minOperands) return UsageError("missing arguments; usage: " + Synopsis(*command));
  if (count > command->maxOperands) return UsageError("too many arguments; usage: " + Synopsis(*command));
  for (const auto& [name, value] : given) {
    const auto& allowed = command->options;
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end())
      return UsageError("option '" + name + "' does not apply to '" + std::string(command->name) + "'");
  }

  ParsedLine line;
  if (!command->run) {
    // harvion help [COMMAND]
    line.outcome = ParsedLine::Outcome::help;
    if (count == 1) {
      const std::string word(words[1]);
      line.invocation.command = FindCommand(word);
      if (!line.invocation.command || !line.invocation.command->run)
        return UsageError("no command '" + word + "'" + DidYouMean(word, CommandNames()));
    }
    return line;
  }
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
    text += "  " + Synopsis(command) + "\n      " + Wrapped(command.summary, 6) + "\n";
  text += "\nOptions (anywhere after the command):\n";
  for (const OptionSpec& option : Options()) text += OptionEntry(option, false);
  text +=
      "  -h, --help\n"
      "      Print this help and exit; after a command, that command's help only.\n"
      "  --version\n"
      "      Print the version and exit.\n"
      "  --\n"
      "      End of options: every later word is an argument, even one starting with '-'.\n"
      "\n"
      "Commands that change an agent wait while another command or program changes the same agent;\n"
      "tree and cache only read it and never wait.\n"
      "Exit status: 0 on success; 1 when the command fails, and for run also when a location of the\n"
      "agent (one added to it, not a page found by a link) failed, a limit left pages unfetched or\n"
      "Ctrl-C stopped it; 2 on a usage error.\n"
      "Environment: HARVION_HOME is the folder for settings and agents\n"
      "(default: $XDG_DATA_HOME/harvion, else ~/.local/share/harvion).\n";
  return text;
}

std::string CommandHelp(const CommandSpec& command) {
  std::string text = "Usage: " + Synopsis(command) + "\n" + Wrapped(command.summary, 0) + "\n";
  if (!command.options.empty()) {
    text += "\nOptions:\n";
    for (std::string_view name : command.options) text += OptionEntry(*FindOption(name), true);
  }
  return text + "\nSee 'harvion --help' for every command, the exit status and the environment.\n";
}

std::string VersionText() { return "harvion " HARVION_VERSION "\n"; }

}  // namespace harvion

// harvion: the command-line front end of the engine.
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "harvion/settings.h"
#include "engine_session.h"
#include "failure.h"

int main(int argc, char** argv) {
  using harvion::ParsedLine;
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ParsedLine line = harvion::ParseCommandLine(args);
  switch (line.outcome) {
    case ParsedLine::Outcome::help:
      std::cout << (line.invocation.command ? harvion::CommandHelp(*line.invocation.command) : harvion::UsageText());
      return 0;
    case ParsedLine::Outcome::version:
      std::cout << harvion::VersionText();
      return 0;
    case ParsedLine::Outcome::usageError:
      std::cerr << "harvion: " << line.error << "\nTry 'harvion --help'.\n";
      return 2;
    case ParsedLine::Outcome::run:
      break;
  }
  if (GetHomeDirectory().empty()) {
    std::cerr << "harvion: " << GetHomeProblem() << '\n';
    return 1;
  }
  try {
    harvion::EngineSession session;
    line.invocation.command->run(line.invocation, session.Client());
  } catch (const harvion::Failure& failure) {
    std::cerr << "harvion: " << failure.what() << '\n';
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "harvion: " << error.what() << '\n';
    return 1;
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}

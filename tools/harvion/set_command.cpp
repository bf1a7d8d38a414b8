// harvion set: the retrieval settings and the schedule of an agent or one of its items.
#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "folder_path.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "strategy_names.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

constexpr int kAllLevels = 127;
// The first entries of each list are the built-in ones, in the order of the
// strategies they stand for.
constexpr int kBuiltInFileTypes = 4;
constexpr int kBuiltInLocations = 5;

const std::vector<std::string_view> kFileWords = {"sitemap", "text", "graphics", "all"};
const std::vector<std::string_view> kConfineWords = {"unrestricted", "site", "directory", "outside", "server"};
// In the order of CUINode::requisites.
const std::vector<std::string_view> kRequisitesWords = {"strategy", "any-server"};

// The fields of the packed load information that a user sets.
struct Settings {
  int levels;
  int locationIndex;
  int linkType;
  int fileTypeIndex;
  int loadDetail;
};

Settings Unpack(unsigned long info) {
  return {static_cast<int>(info & 0x7F), static_cast<int>((info >> 8) & 0x1F), static_cast<int>((info >> 13) & 0x7),
          static_cast<int>((info >> 16) & 0x3F), static_cast<int>((info >> 22) & 0x3)};
}

int Levels(const std::string& text) {
  if (text == "all") return kAllLevels;
  int levels = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), levels);
  if (error != std::errc() || end != text.data() + text.size() || levels < 0 || levels >= kAllLevels)
    throw Failure("levels must be a whole number from 0 to 126, or all");
  return levels;
}

int WordIndex(const std::vector<std::string_view>& words, const std::string& text, const char* option) {
  const auto found = std::find(words.begin(), words.end(), text);
  if (found != words.end()) return static_cast<int>(found - words.begin());
  std::string choices;
  for (std::size_t i = 0; i < words.size(); ++i)
    choices += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + std::string(words[i]);
  throw Failure(std::string(option) + " must be " + choices);
}

int ListIndex(const std::vector<std::string>& names, const std::string& name, const char* what,
              const std::string& agentName) {
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end())
    throw Failure("no " + std::string(what) + " list named '" + name + "' in agent '" + agentName + "'");
  return static_cast<int>(found - names.begin());
}

// A named list stands for a strategy of its own when it is a built-in one;
// the list of another strategy than the one asked for contradicts it.
void Choose(const std::string* option, const std::string* listOption, int builtIns, int strategy, int list,
            int& strategyField, int& listField, const char* what) {
  if (option) strategyField = strategy;
  if (listOption) {
    if (list < builtIns) {
      if (option && strategy != list)
        throw Failure("the " + std::string(what) + " list and the strategy given name different strategies");
      strategyField = list;
    }
    listField = list;
  } else if (option) {
    listField = strategy;
  }
}

// The retrieval options given; null for those not given.
struct RetrievalOptions {
  explicit RetrievalOptions(const Invocation& invocation)
      : levels(invocation.Option("--levels")),
        files(invocation.Option("--files")),
        confine(invocation.Option("--confine")),
        fileList(invocation.Option("--exclude-types")),
        locationList(invocation.Option("--exclude-locations")),
        requisites(invocation.Option("--requisites")),
        inherit(invocation.Option("--inherit") != nullptr) {}
  bool AnySetting() const { return levels || files || confine || fileList || locationList || requisites; }

  const std::string* levels;
  const std::string* files;
  const std::string* confine;
  const std::string* fileList;
  const std::string* locationList;
  const std::string* requisites;
  bool inherit;
};

// Sets the retrieval settings the options give; what is not given stays as
// it is in effect now, inherited or not.
void SetLoadInfo(UITreeNode& item, const RetrievalOptions& o, const std::string& agentName) {
  const auto& [levels, files, confine, fileList, locationList, requisites, inherit] = o;
  Settings s = Unpack(item.m_pNode->GetValue(itemLoadInfo));
  int choice = 0;
  if (!inherit) {
    // Every value is checked before anything changes.
    const StrategyNames names = StrategyNames::OfOpenAgent();
    const int wantedLevels = levels ? Levels(*levels) : s.levels;
    const int loadDetail = files ? WordIndex(kFileWords, *files, "--files") : 0;
    const int linkType = confine ? WordIndex(kConfineWords, *confine, "--confine") : 0;
    const int fileTypeIndex = fileList ? ListIndex(names.fileTypes, *fileList, "file-type", agentName) : 0;
    const int locationIndex = locationList ? ListIndex(names.locations, *locationList, "location", agentName) : 0;
    const int requisitesChoice = requisites ? WordIndex(kRequisitesWords, *requisites, "--requisites") : 0;
    s.levels = wantedLevels;
    Choose(files, fileList, kBuiltInFileTypes, loadDetail, fileTypeIndex, s.loadDetail, s.fileTypeIndex,
           "file-type");
    Choose(confine, locationList, kBuiltInLocations, linkType, locationIndex, s.linkType, s.locationIndex,
           "location");
    choice = requisitesChoice;
  }
  const unsigned long value = CSafClient::PackLoadInfo(s.loadDetail, s.linkType, s.levels, s.fileTypeIndex,
                                                       s.locationIndex, inherit ? 1 : 0, 0);
  if (!item.m_pNode->SetValue(itemLoadInfo, value))
    throw Failure("cannot change the settings of agent '" + agentName + "'");
  // An item takes its own choice once its settings are its own.
  if (requisites && !item.m_pNode->SetValue(itemRequisites, static_cast<unsigned long>(choice)))
    throw Failure("cannot change the settings of agent '" + agentName + "'");
}

// What --schedule asks for, as the node's packed schedule information.
unsigned long ScheduleValue(const std::string& text, bool agent) {
  if (text == "inherit") {
    if (agent) throw Failure("an agent has no parent to inherit from");
    return CSafClient::PackScheduleInfo(-1, 1);
  }
  // No schedule of its own: the engine then has an item follow its parent.
  if (text == "none") return CSafClient::PackScheduleInfo(-1, 0);
  const std::vector<std::string> names = ScheduleNames();
  const auto found = std::find(names.begin(), names.end(), text);
  if (found == names.end()) throw Failure("no schedule named '" + text + "'");
  return CSafClient::PackScheduleInfo(static_cast<int>(found - names.begin()), 0);
}

}  // namespace

void RunSet(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& agentName = invocation.operands[0];
  const RetrievalOptions options(invocation);
  const bool inherit = options.inherit;
  const bool anySetting = options.AnySetting();
  const std::string* schedule = invocation.Option("--schedule");
  if (inherit && anySetting) throw Failure("--inherit takes no other setting");
  if (!inherit && !anySetting && !schedule)
    throw Failure(
        "nothing to set: give --levels, --files, --confine, --exclude-types, --exclude-locations, --requisites, "
        "--inherit or --schedule");

  UITreeNode* item = &OpenAgent(client, agentName);
  if (invocation.operands.size() > 1) {
    const std::string& path = invocation.operands[1];
    item = FindItem(*item, path);
    if (!item) throw Failure("no item '" + path + "' in agent '" + agentName + "'");
  }
  if (inherit && item->NodeClass() == kNodeKindAgent) throw Failure("an agent has no parent to inherit from");
  const unsigned long scheduleValue = schedule ? ScheduleValue(*schedule, item->NodeClass() == kNodeKindAgent) : 0;

  if (inherit || anySetting) SetLoadInfo(*item, options, agentName);
  if (schedule && !item->m_pNode->SetValue(itemSchedule, scheduleValue))
    throw Failure("cannot change the schedule of agent '" + agentName + "'");
  SaveAgentOrFail(agentName);
}

}  // namespace harvion

// The engine's dialogs reached through the CSafClient statics: Cancel with
// no module drawing them, the module's answer with one, Cancel when it throws.
#include <gtest/gtest.h>

#include <stdexcept>

#include "harvion/dialogs.h"
#include "harvion/saf_client.h"

namespace {

TEST(EngineDialogs, list_dialogs_answer_cancel_without_a_module_and_the_module_s_choice_with_one) {
  const EngineDialogs before = SetEngineDialogs({});
  EXPECT_FALSE(HasEngineDialogs());
  EXPECT_EQ(CSafClient::FileTypes(2), -1);
  EXPECT_EQ(CSafClient::Constraints(0), -1);
  EXPECT_EQ(CSafClient::Schedules(-1), -1);
  CSafClient::Settings();  // nothing to show: returns at once

  int settingsShown = 0;
  EngineDialogs dialogs;
  dialogs.settings = [&] { ++settingsShown; };
  dialogs.fileTypes = [](int selected) { return selected + 1; };
  dialogs.schedules = [](int) -> int { throw std::runtime_error("drawing failed"); };
  SetEngineDialogs(dialogs);
  EXPECT_TRUE(HasEngineDialogs());
  EXPECT_EQ(CSafClient::FileTypes(2), 3);
  EXPECT_EQ(CSafClient::Constraints(0), -1) << "not installed: Cancel";
  EXPECT_EQ(CSafClient::Schedules(1), -1) << "a dialog that fails counts as Cancel";
  CSafClient::Settings();
  EXPECT_EQ(settingsShown, 1);
  SetEngineDialogs(before);
}

}  // namespace

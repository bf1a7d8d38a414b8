// The passwords list changed from two sides at once, the settings sheet and
// a run that remembers an answer: each keeps the other's changes.
#include <gtest/gtest.h>

#include "engine/http/authen.h"
#include "engine/http/password_store.h"
#include "harvion/settings_lists.h"
#include "support/test_home.h"

namespace {

using hv::http::StoredPassword;

class SettingsListsTest : public TestHome {};

std::vector<std::string> Describe(const std::vector<PasswordItem>& list) {
  std::vector<std::string> out;
  for (const PasswordItem& item : list) out.push_back(item.realm + "@" + item.server + "=" + item.user);
  return out;
}

TEST_F(SettingsListsTest, the_sheet_and_a_remembering_run_keep_each_other_s_password_changes) {
  ASSERT_TRUE(hv::http::SavePasswords({{"Old", "http://a.example:80", "ann", "1"},
                                       {"Kept", "http://a.example:80", "bob", "2"},
                                       {"Renamed", "http://a.example:80", "cy", "3"}}));
  CAuthen& authen = CAuthen::Instance();
  authen.Load();

  // The sheet: removes Old, gives Renamed another user, adds one typed as an address.
  const std::vector<PasswordItem> shown = CSettingsLists::Passwords();
  std::vector<PasswordItem> edited = shown;
  edited.erase(edited.begin());
  edited[1].user = "dee";
  edited.push_back({"Club", "HTTP://Club.Example/members/", "eve", "5"});
  ASSERT_TRUE(CSettingsLists::ChangePasswords(shown, edited));

  // The run, which read the list before the sheet stored it, remembers two answers.
  for (const char* realm : {"First", "Second"}) {
    {
      std::lock_guard lock(authen.Mutex());
      authen.RememberPasswordLocked("http://b.example:80", realm, "fay", "6");
    }
    ASSERT_TRUE(authen.Save());
  }
  EXPECT_EQ(Describe(CSettingsLists::Passwords()),
            (std::vector<std::string>{"Kept@http://a.example:80=bob", "Renamed@http://a.example:80=dee",
                                      "Club@http://club.example:80=eve", "First@http://b.example:80=fay",
                                      "Second@http://b.example:80=fay"}));
}

}  // namespace

#include "engine/http/cookies.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/file_system.h"
#include "platform/temp_folder.h"

namespace {

// Each test gets its own Harvion folder, with cookies on unless it says so.
class Cookies : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("HARVION_HOME", m_home.path().c_str(), 1);
    unsetenv("HARVION_COOKIES");
  }
  void TearDown() override {
    unsetenv("HARVION_HOME");
    unsetenv("HARVION_COOKIES");
  }
  std::string StoreFile() const { return m_home / "cookies.txt"; }

  hv::test::TempFolder m_home;
};

std::string Get(CCookies& cookies, const std::string& address) {
  std::string text = "stale";
  const bool found = cookies.GetCookies(text, address);
  EXPECT_EQ(found, !text.empty()) << address;
  return text;
}

TEST_F(Cookies, addresses_are_reduced_to_host_path_and_scheme) {
  CCookies cookies;
  cookies.SetCookie("http://user:pw@WWW.Example.COM:8080/shop/cart?item=1#top", "cart=1; Max-Age=600");
  cookies.SetCookie("https://www.example.com/", "token=2; Secure; Max-Age=600");
  cookies.SetCookie("ftp://www.example.com/shop/x", "ftp=3; Max-Age=600");
  cookies.SetCookie("http://[::1]:81/", "v6=4; Max-Age=600");
  const std::pair<const char*, const char*> cases[] = {
      {"http://www.example.com/shop/item", "cart=1"},
      {"http://www.example.com/shop?x", "cart=1"},
      {"http://www.example.com./shop/", "cart=1"},
      {"https://www.example.com/shop/", "cart=1; token=2"},
      {"http://www.example.com/", ""},
      {"http://example.com/shop/", ""},
      {"ftp://www.example.com/shop/x", ""},
      {"http://[::1]/", "v6=4"},
      {"not an address", ""},
  };
  for (const auto& [address, expected] : cases) EXPECT_EQ(Get(cookies, address), expected) << address;

  // Another process, or the next run, sees the persistent cookies once
  // they are flushed.
  CCookies later;
  EXPECT_EQ(Get(later, "https://www.example.com/shop/"), "");
  cookies.Flush();
  EXPECT_EQ(Get(later, "https://www.example.com/shop/"), "cart=1; token=2");
}

TEST_F(Cookies, off_means_no_store_for_the_whole_process) {
  setenv("HARVION_COOKIES", "OFF", 1);
  CCookies cookies;
  cookies.SetCookie("http://h.ex/", "a=1; Max-Age=600");
  EXPECT_EQ(Get(cookies, "http://h.ex/"), "");
  EXPECT_FALSE(hv::fs::Exists(StoreFile()));

  // Looked for once: turning cookies on later changes nothing for it.
  unsetenv("HARVION_COOKIES");
  cookies.SetCookie("http://h.ex/", "a=1; Max-Age=600");
  EXPECT_EQ(Get(cookies, "http://h.ex/"), "");
  EXPECT_FALSE(hv::fs::Exists(StoreFile()));
}

}  // namespace

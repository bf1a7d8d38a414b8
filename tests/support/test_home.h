// A fresh Harvion folder for each test: the engine's folders point into it,
// a recording user interface is connected, and everything is undone after.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/recording_ui_client.h"

class TestHome : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Path of a file in the Harvion folder.
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  std::vector<std::uint8_t> ReadFile(const std::string& path) const;
  void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) const;

  std::string m_dir;
  std::unique_ptr<RecordingUIClient> m_ui;
};

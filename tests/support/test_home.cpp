#include "support/test_home.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine/agent/agent_manager.h"
#include "engine/settings/engine_app.h"
#include "platform/files/file_system.h"

void TestHome::SetUp() {
  std::string pattern = hv::fs::TempDirectory() + "/hvtest.XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  m_dir = pattern;
  setenv("HARVION_HOME", m_dir.c_str(), 1);
  setenv("HARVION_HELP_DIR", HV_HELP_BUNDLE_DIR, 1);
  EngineApp::Instance().InitInstance();
  CAgentManager::Instance().ResetDirectories();
  m_ui = std::make_unique<RecordingUIClient>();
  CSafClient::GetSafClient()->Connect(m_ui.get());
}

void TestHome::TearDown() {
  CAgentManager::Instance().Close(false);
  CSafClient::GetSafClient()->Connect(nullptr);
  m_ui.reset();
  hv::fs::RemoveTree(m_dir);
  unsetenv("HARVION_HOME");
}

std::vector<std::uint8_t> TestHome::ReadFile(const std::string& path) const {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void TestHome::WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

#include "engine_session.h"

#include <filesystem>
#include <iostream>

#include "harvion/saf_client.h"
#include "harvion/settings.h"
#include "terminal_prompt.h"

namespace harvion {

EngineSession::EngineSession() {
  // Engine warnings are one-line diagnostics like our own.
  m_previousSink = SetMessageSink([](const std::string& text, const std::string&, HWND) {
    std::cerr << "harvion: " << text << '\n';
  });
  CSafClient::GetSafClient()->Connect(&m_client);
  InstallTerminalPrompt();
  // The first start of any of our programs records where they live, so the
  // engine can start the scheduler program from there.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) EnsureProgramFolder(self.parent_path().c_str());
}

EngineSession::~EngineSession() {
  // Detaches every UI node while the client can still take the calls.
  CSafClient::DeleteAgent();
  CSafClient::GetSafClient()->Connect(nullptr);
  SetMessageSink(m_previousSink);
}

}  // namespace harvion

#include "engine_session.h"

#include <iostream>

#include "harvion/saf_client.h"

namespace harvion {

EngineSession::EngineSession() {
  // Engine warnings are one-line diagnostics like our own.
  m_previousSink = SetMessageSink([](const std::string& text, const std::string&, HWND) {
    std::cerr << "harvion: " << text << '\n';
  });
  CSafClient::GetSafClient()->Connect(&m_client);
}

EngineSession::~EngineSession() {
  // Detaches every UI node while the client can still take the calls.
  CSafClient::DeleteAgent();
  CSafClient::GetSafClient()->Connect(nullptr);
  SetMessageSink(m_previousSink);
}

}  // namespace harvion

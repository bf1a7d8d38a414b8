// The tool's connection to the engine for one command: connects the headless
// interface at start and closes the open agent (saving it) before the
// interface goes away.
#pragma once

#include "harvion/exports.h"
#include "headless_ui_client.h"

namespace harvion {

class EngineSession {
 public:
  EngineSession();
  ~EngineSession();
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;

  HeadlessUIClient& Client() { return m_client; }

 private:
  HeadlessUIClient m_client;
  MessageSink m_previousSink;
};

}  // namespace harvion

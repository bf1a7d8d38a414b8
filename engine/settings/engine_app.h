// The engine's application object: the settings every part of the engine
// reads, loaded once when the library starts.
#pragma once

#include <string>

class EngineApp {
 public:
  static EngineApp& Instance();

  // Reads the settings and makes sure the agents and cache folders exist.
  void InitInstance();

  std::string m_strCacheFolder;
  std::string m_strAgentsFolder;
  std::string m_strUserAgent;

 private:
  EngineApp();
};

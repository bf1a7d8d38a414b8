// The engine's application object: the global settings every part of the
// engine reads, loaded from the settings store when the library starts and
// changed value by value in memory and in the store together.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

class EngineApp {
 public:
  static EngineApp& Instance();

  // Start-up: proxy, cache folder, agents folder and user agent,
  // connections, schedules, in that order, each with its default.
  void InitInstance();
  // Saves and closes the open agent and forgets what the run kept.
  void ExitInstance();

  // What a request takes from the settings, copied under their lock: a
  // worker building a request never reads a text a settings change is
  // writing.
  struct RequestSettings {
    std::string userAgent;
    bool useProxy = false;
    std::string proxyLocation;
    // Certificates trusted beside the system's for https: servers; empty for none.
    std::string caFile;
    // With the proxy on: the proxy location followed by the location, and
    // true; otherwise the location and false.
    bool ProxiedTarget(const std::string& location, std::string& target) const;
  };
  RequestSettings GetRequestSettings() const;
  // GetRequestSettings().ProxiedTarget(location, target).
  bool GetProxiedTarget(const std::string& location, std::string& target) const;
  // Copies the proxy server into the buffer when it fits (length < size).
  bool GetProxy(char* buffer, std::size_t size, int& useProxy, int& port) const;
  // Changes of some of the proxy or connection values. Under the store's
  // lock, the values left out are read again and written back as stored,
  // so a change another process made meanwhile stays; memory then holds
  // what the store holds. False when the store could not be written (memory
  // still takes the change).
  struct ProxyChange {
    std::optional<bool> useProxy = std::nullopt;
    std::optional<std::string> server = std::nullopt;
    std::optional<int> port = std::nullopt;
  };
  struct ConnectionChange {
    std::optional<int> threads = std::nullopt;
    std::optional<int> timeout = std::nullopt;
    std::optional<bool> autodial = std::nullopt;
    std::optional<std::string> connectionName = std::nullopt;
  };
  bool ChangeProxy(const ProxyChange& change);
  bool ChangeConnections(const ConnectionChange& change);
  // As the settings pages call them: the values that differ from memory are
  // the user's change, the others are taken as stored.
  bool SetProxy(bool useProxy, const std::string& server, int port);
  bool SetConnections(int threads, int timeout, bool autodial, const std::string& connectionName);
  // Saves and closes the open agent and points the agents and cache folders
  // at the path, bracketed by the two folder messages to the main window.
  // False (and nothing changed) when the path is not a folder and cannot be
  // made one.
  bool ChangeAgentsFolder(const std::string& path);
  bool SetUserAgent(const std::string& userAgent);
  // The file of certificates the user trusts beside the system's; empty
  // for none. False when the store could not be written.
  bool SetCaFile(const std::string& path);
  // The largest body one page may have, in kilobytes (0 is taken as the
  // default); false when the store could not be written.
  bool SetMaxPageSize(std::uint32_t kilobytes);
  // HTTP/1.1 with connections kept open for http: addresses too (https:
  // always has it); false when the store could not be written.
  bool SetKeepAlive(bool on);
  // A path the agents and cache folders may have: absolute, shorter than 260
  // bytes, no control characters. A relative one would depend on where each
  // process happens to start.
  static bool IsFolderPath(const std::string& path);

  // Guards the user agent, the proxy fields and the CA file, which workers read while a
  // run goes on; their writers hold it, and so does any reader off the
  // thread that changes settings.
  std::mutex& RequestSettingsLock() const { return m_requestSettingsLock; }

  std::string m_strCacheFolder;
  std::string m_strAgentsFolder;
  std::string m_strUserAgent;
  bool m_bUseProxy = false;
  std::string m_strProxyServer;
  int m_nProxyPort = 0;
  std::string m_strProxyLocation;  // "http://server:port/", empty without both
  std::string m_strCaFile;
  int m_nThreads = 4;
  int m_nTimeout = 30;  // seconds
  bool m_bEnableAutodial = false;
  std::string m_strConnectionName;
  // Kilobytes; read by the transfers while a setting may change it.
  static constexpr std::uint32_t kDefaultMaxPageSize = 1u << 20;  // 1 GiB
  std::atomic<std::uint32_t> m_nMaxPageSize{kDefaultMaxPageSize};
  // Read by the transfers while a setting may change it; off by default, so
  // an http: server gets the requests it always got.
  std::atomic<bool> m_bKeepAlive{false};

 private:
  EngineApp();
  mutable std::mutex m_requestSettingsLock;
  void FormatProxyLocation();
  void LoadFolders();
};

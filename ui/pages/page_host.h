// What the property pages may use of the program around them. The details
// bar owns one; the agent frame fills in what only it knows.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace hvui {

class CAgentTreeView;
class NodeBridge;
class PluginClient;

// The cache totals the engine last reported for the open agent.
struct CacheTotals {
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
};

class CPageHost : public QObject {
  Q_OBJECT
 public:
  explicit CPageHost(NodeBridge& bridge, QObject* parent = nullptr);

  NodeBridge& Bridge() const { return m_bridge; }
  // Null until the frame sets them.
  PluginClient* Client() const { return m_client; }
  CAgentTreeView* Tree() const { return m_tree; }
  void SetClient(PluginClient* client) { m_client = client; }
  void SetTree(CAgentTreeView* tree) { m_tree = tree; }

  bool Running() const { return m_running ? m_running() : false; }
  // Nullopt until the engine has reported totals for the open agent.
  std::optional<CacheTotals> Totals() const { return m_totals ? m_totals() : std::nullopt; }
  // Shows an address in the browser (Go to Original).
  void Navigate(const QString& url) const {
    if (m_navigate) m_navigate(url);
  }
  void SetRunning(std::function<bool()> running) { m_running = std::move(running); }
  void SetTotals(std::function<std::optional<CacheTotals>()> totals) { m_totals = std::move(totals); }
  void SetNavigate(std::function<void(const QString&)> navigate) { m_navigate = std::move(navigate); }

 signals:
  // The engine reported new cache totals.
  void totalsChanged();
  // A run started or ended.
  void runStateChanged(bool running);

 private:
  NodeBridge& m_bridge;
  PluginClient* m_client = nullptr;
  CAgentTreeView* m_tree = nullptr;
  std::function<bool()> m_running;
  std::function<std::optional<CacheTotals>()> m_totals;
  std::function<void(const QString&)> m_navigate;
};

}  // namespace hvui

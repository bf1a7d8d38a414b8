// Carries the engine's node notifications to the tree on the Qt thread. The
// engine calls the user-interface nodes on its retrieval threads; each call
// becomes a queued call that names the node by number, so a notification for
// a node detached meanwhile finds nothing and is dropped.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "shell/call_queue.h"

class CSafNode;

namespace hvui {

class CAgentTreeView;

class NodeBridge : public QObject {
  Q_OBJECT
 public:
  explicit NodeBridge(QObject* parent = nullptr);

  // The view that receives the calls; null drops them.
  void SetView(CAgentTreeView* view);

  // From any thread: runs the call on the Qt thread, with the view, when
  // there is one by then.
  void Post(std::function<void(CAgentTreeView&)> call);

  // The engine node of each attached user-interface node, by number.
  std::uint64_t Add(CSafNode* node);
  void Remove(std::uint64_t id);
  // Only under CEngineLock: the node cannot then be detached before the
  // caller is done with it. Null when it is gone.
  CSafNode* Find(std::uint64_t id) const;
  // Runs call with the node under the engine's lock; false when the node is
  // gone. Never for calls that wait for a run.
  bool WithNode(std::uint64_t id, const std::function<void(CSafNode&)>& call) const;

 private:
  CallQueue m_calls;
  QPointer<CAgentTreeView> m_view;  // read and written on the Qt thread only
  mutable std::mutex m_mutex;
  std::unordered_map<std::uint64_t, CSafNode*> m_nodes;
  std::uint64_t m_nextId = 1;
};

}  // namespace hvui

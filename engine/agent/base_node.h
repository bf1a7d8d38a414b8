// The engine's node for one anchor: the eight operations through which the
// user interface reads and changes it. Every operation catches the engine's
// exceptions and answers 0 (or null) instead.
#pragma once

#include <string>

#include "harvion/saf_node.h"

class CAnchor;

class CBaseNode : public CSafNode {
 public:
  explicit CBaseNode(CAnchor* anchor) : m_pAnchor(anchor) {}
  virtual ~CBaseNode() = default;

  int GetData(int item, void* buffer, int size) override;
  unsigned long GetValue(int item) override;
  HGLOBAL GetDataHandle(int item) override;
  int SetData(int item, const void* data, unsigned long size) override;
  int SetValue(int item, unsigned long value) override;
  int Run() override;
  void Remove(int exclude) override;
  void Release() override;

  CAnchor* m_pAnchor;

 protected:
  // The operations without the exception guard; adapters override these.
  virtual int DoGetData(int item, void* buffer, int size);
  virtual unsigned long DoGetValue(int item);
  virtual HGLOBAL DoGetDataHandle(int item);
  virtual int DoSetData(int item, const void* data, unsigned long size);
  virtual void DoRemove(int exclude);

  // Calls Detach on the UI node, once.
  void DetachUi();
  // Copies the text with its zero when it is shorter than the buffer;
  // returns the size needed.
  static int CopyText(const std::string& text, void* buffer, int size);
  // A zero-initialised global block holding the bytes.
  static HGLOBAL MakeBlock(const std::string& bytes);
};

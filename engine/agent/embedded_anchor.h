// An embedded object (an image, a script, a font), stored as a plain file;
// a stylesheet's copy is rewritten as it arrives and its references become
// the anchor's children.
#pragma once

#include <memory>

#include "engine/agent/http_anchor.h"

class CCssRewriter;

namespace hv::fs {
class CTemporaryFile;
}

class CEmbeddedAnchor : public CHTTPAnchor {
  DECLARE_SERIAL(CEmbeddedAnchor)
 public:
  CEmbeddedAnchor();
  ~CEmbeddedAnchor() override;

  int GetKind() override;

  std::int32_t m_bFileWritten = 0;  // the local file was created for the current body

 protected:
  bool BeginBody() override;
  int ReceiveBody(const char* data, int length) override;
  BodyEnd EndBody(bool transferCompleted) override;
  void DiscardBody() override;
  void RebuildChildren() override;
  void KeepStoredCopyIfSame() override;

 private:
  BodyEnd EndStylesheet(bool transferCompleted);

  // The new copy while it arrives; it replaces the old one only when whole.
  std::unique_ptr<hv::fs::CTemporaryFile> m_pFile;
  // A stylesheet's copy, instead, while it arrives.
  std::unique_ptr<CCssRewriter> m_pStylesheet;
  std::int64_t m_nReceived = 0;
  bool m_bWriteFailed = false;
  bool m_bDiskFull = false;
  bool m_bKeepIfSame = false;  // the body is the one the stored copy was made from
};

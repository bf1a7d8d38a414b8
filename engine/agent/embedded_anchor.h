// An embedded object (an image source), stored as a plain file.
#pragma once

#include "engine/agent/http_anchor.h"

class CEmbeddedAnchor : public CHTTPAnchor {
  DECLARE_SERIAL(CEmbeddedAnchor)
 public:
  int GetKind() override;

  std::int32_t m_bFileWritten = 0;  // the local file was created for the current body
};

#include "engine/agent/embedded_anchor.h"

IMPLEMENT_SERIAL(CEmbeddedAnchor, CHTTPAnchor, 1)

int CEmbeddedAnchor::GetKind() { return CHTTPAnchor::GetKind() | 0x20; }

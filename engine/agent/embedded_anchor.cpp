#include "engine/agent/embedded_anchor.h"

#include "engine/html/css_rewriter.h"
#include "platform/files/temp_file.h"

IMPLEMENT_SERIAL(CEmbeddedAnchor, CHTTPAnchor, 1)

CEmbeddedAnchor::CEmbeddedAnchor() = default;

CEmbeddedAnchor::~CEmbeddedAnchor() = default;

int CEmbeddedAnchor::GetKind() { return CHTTPAnchor::GetKind() | 0x20; }

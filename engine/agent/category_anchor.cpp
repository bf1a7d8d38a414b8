#include "engine/agent/category_anchor.h"

#include "engine/agent/folder_node.h"

IMPLEMENT_SERIAL(CCategoryAnchor, CAnchor, 1)

CSafNode* CCategoryAnchor::CreateNode() { return new CFolderNode(this); }

int CCategoryAnchor::GetKind() { return 0x43; }


#include "pages/page_host.h"

namespace hvui {

CPageHost::CPageHost(NodeBridge& bridge, QObject* parent) : QObject(parent), m_bridge(bridge) {}

}  // namespace hvui

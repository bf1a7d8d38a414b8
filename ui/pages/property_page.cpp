#include "pages/property_page.h"

#include "pages/page_host.h"
#include "shell/node_bridge.h"

namespace hvui {

CPropertyPage::CPropertyPage(CPageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {}

void CPropertyPage::Show(const PageItem& item) {
  m_item = item;
  Refill();
}

void CPropertyPage::Refill() {
  if (m_filling) return;
  m_filling = true;
  Fill();
  m_filling = false;
}

void CPropertyPage::SetReadOnly(bool readOnly) {
  if (readOnly == m_readOnly) return;
  m_readOnly = readOnly;
  Refill();
}

bool CPropertyPage::Writable() const {
  return !m_readOnly && m_item.id != 0 && Read([](CSafNode&) {});
}

bool CPropertyPage::Read(const std::function<void(CSafNode&)>& read) const {
  return m_item.id != 0 && m_host.Bridge().WithNode(m_item.id, read);
}

bool CPropertyPage::Write(const std::function<bool(CSafNode&)>& write) {
  if (m_filling) return false;
  bool taken = false;
  const bool there =
      !m_readOnly && m_item.id != 0 && m_host.Bridge().WithNode(m_item.id, [&](CSafNode& node) { taken = write(node); });
  // A node that is gone keeps its last values on the page.
  if (!taken && (there || m_readOnly)) Refill();
  return taken;
}

}  // namespace hvui

// One link found on a stored page.
#pragma once

#include <cstdint>
#include <string>

#include "platform/framework/serial.h"

class CPageChild : public CObject {
  DECLARE_SERIAL(CPageChild)
 public:
  enum LinkKind : std::int32_t { kPage = 0, kEmbedded = 1, kFrame = 2 };

  void Serialize(CArchive& ar) override;

  std::int32_t m_nLinkType = kPage;
  std::string m_strAddress;
  std::string m_strTitle;  // the link's text
};

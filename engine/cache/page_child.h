// One link found on a stored page.
#pragma once

#include <cstdint>
#include <string>

#include "engine/cache/shared_text.h"
#include "platform/framework/serial.h"

class CPageChild : public CObject {
  DECLARE_SERIAL(CPageChild)
 public:
  // kEmbedded is an image: a copy not stored shows the placeholder. The
  // other requisites a page needs to look as it did keep their web address
  // when not stored: kStyle is read as text (stylesheets, scripts), kMedia
  // as graphics (fonts, video, audio, objects).
  enum LinkKind : std::int32_t { kPage = 0, kEmbedded = 1, kFrame = 2, kStyle = 3, kMedia = 4 };

  void Serialize(CArchive& ar) override;

  // A site's pages link to the same few addresses with the same texts: the
  // records share them, which keeps the index of a large site small in memory.
  hv::SharedText m_strAddress;
  hv::SharedText m_strTitle;  // the link's text
  std::int32_t m_nLinkType = kPage;
};

// Which requisites a file-type strategy keeps, by link kind and by the
// content type the server names.
#include <gtest/gtest.h>

#include "engine/cache/page_child.h"
#include "engine/retrieval/link_test.h"
#include "harvion/ui_node.h"

namespace {

constexpr int kPage = CPageChild::kPage, kEmbedded = CPageChild::kEmbedded, kFrame = CPageChild::kFrame,
              kStyle = CPageChild::kStyle, kMedia = CPageChild::kMedia;
constexpr int kSiteMap = CUINode::ldSiteMap, kText = CUINode::ldTextOnly, kGraphics = CUINode::ldTextAndGraphics,
              kAll = CUINode::ldAllFiles;

TEST(LinkKinds, text_keeps_stylesheets_and_scripts_graphics_keeps_fonts_and_media) {
  struct Case {
    int kind;
    bool siteMap, text, graphics;
  } cases[] = {{kPage, true, true, true},     {kFrame, true, true, true},   {kEmbedded, false, false, true},
               {kStyle, false, true, true},   {kMedia, false, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(hv::LoadDetailKeeps(kSiteMap, c.kind), c.siteMap);
    EXPECT_EQ(hv::LoadDetailKeeps(kText, c.kind), c.text);
    EXPECT_EQ(hv::LoadDetailKeeps(kGraphics, c.kind), c.graphics);
    EXPECT_TRUE(hv::LoadDetailKeeps(kAll, c.kind));
    EXPECT_EQ(hv::IsRequisite(c.kind), c.kind != kPage && c.kind != kFrame);
  }
}

TEST(LinkKinds, content_types_taken_by_kind_and_strategy) {
  struct Case {
    const char* type;
    int kind;
    bool siteMap, text, graphics;
  } cases[] = {
      {"text/html", kPage, true, true, true},
      {"image/gif", kPage, false, false, true},
      {"application/javascript", kPage, false, false, false},
      {"Text/CSS; charset=utf-8", kStyle, true, true, true},
      {"application/javascript", kStyle, false, true, true},
      {" Application/JSON ;x", kStyle, false, true, true},
      {"application/manifest+json", kStyle, false, true, true},
      {"application/octet-stream", kStyle, false, true, true},  // a server that knows no type for .js
      {"font/woff2", kMedia, false, false, true},
      {"application/octet-stream", kMedia, false, false, true},
      {"application/vnd.ms-fontobject", kMedia, false, false, true},
      {"video/mp4", kMedia, false, false, true},
      {"font/woff2", kEmbedded, false, false, false},
      {"image/svg+xml", kEmbedded, false, false, true},
      {"application/zip", kMedia, false, false, false},
      {"", kStyle, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " kind " + std::to_string(c.kind));
    EXPECT_EQ(hv::ContentTypeWanted(c.type, kSiteMap, c.kind), c.siteMap);
    EXPECT_EQ(hv::ContentTypeWanted(c.type, kText, c.kind), c.text);
    EXPECT_EQ(hv::ContentTypeWanted(c.type, kGraphics, c.kind), c.graphics);
    EXPECT_TRUE(hv::ContentTypeWanted(c.type, kAll, c.kind));
  }
  EXPECT_EQ(hv::AcceptTypes(kText, kPage), "text/*");
  EXPECT_EQ(hv::AcceptTypes(kGraphics, kEmbedded), "text/*,image/*");
  EXPECT_EQ(hv::AcceptTypes(kText, kStyle), "text/*,application/javascript,application/json,application/octet-stream");
  EXPECT_EQ(hv::AcceptTypes(kAll, kMedia), "*/*");
}

}  // namespace

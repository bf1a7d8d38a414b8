// Hostile pages read by a browser's parser (gumbo) before and after the
// rewrite: the stored copy has the same elements and attributes as the
// page, only the link attributes' values differ. Each page is rewritten
// whole and one byte at a time.
#include <gtest/gtest.h>

#include <gumbo.h>

#include <string>
#include <vector>

#include "html/recording_owner.h"

namespace {

using hvtest::PageSite;

bool IsLinkAttribute(const std::string& name) {
  return name == "href" || name == "src" || name == "background" || name == "action" || name == "url" ||
         name == "srcset" || name == "poster" || name == "data";
}

// One line per element, in document order: its name and its attributes,
// link attributes without their values.
void Describe(const GumboNode* node, std::string& out) {
  if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) return;
  const GumboElement& element = node->v.element;
  if (element.tag == GUMBO_TAG_UNKNOWN) {
    GumboStringPiece name = element.original_tag;
    gumbo_tag_from_original_text(&name);
    out.append(name.data, name.length);
  } else {
    out += gumbo_normalized_tagname(element.tag);
  }
  for (unsigned i = 0; i < element.attributes.length; ++i) {
    const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
    out += std::string(" ") + attribute->name;
    if (!IsLinkAttribute(attribute->name)) out += std::string("=\"") + attribute->value + "\"";
  }
  out += '\n';
  for (unsigned i = 0; i < element.children.length; ++i)
    Describe(static_cast<const GumboNode*>(element.children.data[i]), out);
}

std::string MarkupOf(const std::string& page) {
  GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
  std::string out;
  Describe(output->root, out);
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return out;
}

// The value of the first attribute of that name, as a browser reads it.
std::string AttributeOf(const GumboNode* node, const char* name) {
  if (node->type != GUMBO_NODE_ELEMENT) return {};
  if (const GumboAttribute* found = gumbo_get_attribute(&node->v.element.attributes, name)) return found->value;
  for (unsigned i = 0; i < node->v.element.children.length; ++i) {
    std::string value = AttributeOf(static_cast<const GumboNode*>(node->v.element.children.data[i]), name);
    if (!value.empty()) return value;
  }
  return {};
}

std::string AttributeOf(const std::string& page, const char* name) {
  GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
  std::string value = AttributeOf(output->root, name);
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return value;
}

// Every link target is either stored or not: both kinds of replacement.
void StoreSome(PageSite& site) {
  site.Store("http://host/x", "3S000002.html");
  site.Store("http://host/q.gif", "3S000003.gif");
}

TEST(StoredCopyMarkup, HostilePagesKeepTheirElementsAndAttributes) {
  const std::vector<std::string> pages = {
      // A '>' inside a quoted value is part of the value.
      "<a href=\"/x><script>alert(1)</script>\">t</a>",
      "<a href='/x><script>alert(1)</script>'>t</a>",
      "<img src=\"/q.gif><svg onload=alert(1)>\">",
      "<img src='/n.gif><svg onload=alert(1)>'>",
      "<form action='/f\"><script>alert(1)</script>'></form>",
      "<body background=\"/b.gif><script>alert(1)</script>\">",
      // Quotes of the other kind, and quotes in unquoted values.
      "<a href='/y\" onmouseover=\"alert(1)'>t</a>",
      "<a href=/y\"onmouseover=\"alert(1)>t</a>",
      "<a href=/x\" onmouseover=alert(1)//\">t</a>",
      // Tags the tables do not know, and end tags, have quoted values too.
      "<p title=\"> <a href='/z onmouseover=alert(1) '>\">",
      "</p title=\"> <a href=/x>\"><i title=\"> <img src=/q.gif onerror=alert(1)>\">",
      "<a href=/x =\" <img src=/q.gif onerror=alert(1)> \">t</a>",
      "<a/href=\"/x>\"onmouseover=alert(1)>t</a><a href/=\"/y>\">u</a>",
      "<img\x01src=\"/q.gif> <a href=/x>t</a>\">",
      // A '<' that opens no tag, comments and declarations as a browser ends them.
      "a < b <i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<1 title=\"> <i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<!--> <p title=\"--> <a href=/x onmouseover=alert(1)//>\">",
      "<!---> <p title=\"--> <a href=/x onmouseover=alert(1)//>\">",
      "<!-- a --!> <p title=\"--> <a href=/x onmouseover=alert(1)//>\">",
      "<!x [> <p title=\"]> <a href=/x onmouseover=alert(1)//>\">",
      "<!DOCTYPE html [> <p title=\"]> <a href=/x onmouseover=alert(1)//>\">",
      "<?x \"> <p title=\"> <a href=/x onmouseover=alert(1)//>\">",
      // Text that holds no markup.
      "<script>s='<p title=\"';</script><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<script><!-- <script> </script> <p title=\" --></script><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<script><!-- </script><a href=\"/x\" title='<img src=/q.gif onerror=alert(1)>'>t</a>",
      "<style>p{} <p title=\"</style><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<textarea><p title=\"</textarea><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<title><p title=\"</title><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      // In SVG and MathML these elements hold markup, not text; in their
      // HTML islands, and once a tag breaks out, text again.
      "<svg><style><p title=\"</style><a href=/x onmouseover=alert(1)//>\"></svg>",
      "<math><title><i title=\"</title><a href=/x onmouseover=alert(1)//>\"></math>",
      "<svg><script><i title=\"</script><a href=/x onmouseover=alert(1)//>\"></svg>",
      "<svg><g><textarea><i title=\"</textarea><a href=/x onmouseover=alert(1)//>\"></g></svg>",
      "<svg><foreignObject><style><p title=\"</style><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<math><mi><textarea><p title=\"</textarea><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<svg><p><style><p title=\"</style><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<svg/><style><p title=\"</style><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<svg><svg></svg><style><p title=\"</style><a href=/x onmouseover=alert(1)//>\"></svg>",
      "<svg></svg><style><p title=\"</style><i title=\"> <a href=/x onmouseover=alert(1)//>\">",
      "<svg><![CDATA[ > <a href=\"/x\" title=\"]]><i title='\"> <a href=/x onmouseover=alert(1)//>'>\"></svg>",
      "<svg><![CDATA[ > <a href='/x'> ]]><p title=\"<![CDATA[ > <a href=/x onmouseover=alert(1)//>\">",
      "<![CDATA[ > <a href=/x title=\"]]><i title='\"> <a href=/x onmouseover=alert(1)//>'>\">",
      // Requisites, and srcset candidates with quotes, references and line breaks.
      "<link rel=stylesheet href='/x\"><script>alert(1)</script>'>",
      "<img srcset='/q.gif 1x, /n.gif\" onerror=alert(1) 2x'>",
      "<img srcset=\"/q.gif 1x,&quot;><script>alert(1)</script> 2x\">",
      "<source srcset=\"/q.gif\n1x,\n/n.gif>2x,'\">",
      "<video poster='/q.gif\"><script>alert(1)</script>' src=/x\"\">",
      "<object data='/o\"<b>'></object><iframe src=\"/x'><script>alert(1)</script>\"></iframe>",
      // A quote never closed: a browser drops the tag and all after it.
      "<a href=\"/x>t</a><b>more",
  };
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    for (std::size_t piece : {0, 1}) {
      PageSite site;
      StoreSome(site);
      const PageSite::Mapped mapped = site.Map(page, piece);
      ASSERT_EQ(mapped.finished, 1);
      EXPECT_EQ(MarkupOf(mapped.copy), MarkupOf(page)) << "stored as " << mapped.copy;
    }
  }
}

// What the copy names is what a browser reads there: values from the page
// keep their references, and a quote from a value does not end the copy's.
TEST(StoredCopyMarkup, RewrittenValuesReadAsWritten) {
  struct Case {
    std::string page, attribute, value;
  };
  const std::vector<Case> cases = {
      {"<a href='/x'>t</a>", "href", "3S000002.html"},
      {"<a href=\"/x#a>b\">t</a>", "href", "3S000002.html#a>b"},
      {"<a href='/gone?a=\"1\"&amp;b=<2>'>t</a>", "href", "http://host/gone?a=\"1\"&b=<2>"},
      {"<form action='/f\"x'></form>", "action", "http://host/f\"x"},
      {"<script src='/s.js?a=\"1\"&amp;b=<2>'></script>", "src", "http://host/s.js?a=\"1\"&b=<2>"},
      {"<img srcset='/q.gif 1x,\n/x\"&quot;.gif 2x'>", "srcset", "3S000003.gif 1x,\nhvempty.gif 2x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    PageSite site;
    StoreSome(site);
    const std::string copy = site.Map(c.page).copy;
    EXPECT_EQ(AttributeOf(copy, c.attribute.c_str()), c.value) << "stored as " << copy;
  }
}

}  // namespace

#include "engine/html/style_attribute.h"

#include <strings.h>

#include <cstring>
#include <string_view>
#include <vector>

namespace hv {

namespace {

// The references that matter to CSS syntax; any other stays as written,
// so bytes of the page's own encoding are never decoded here.
struct Named {
  std::string_view name;
  char code;
};
constexpr Named kNamed[] = {{"quot;", '"'}, {"amp;", '&'}, {"apos;", '\''}, {"lt;", '<'}, {"gt;", '>'}};

// The length of the reference at text[at] ('&') and its ASCII character,
// or 0 when it is none of those decoded here.
std::size_t Reference(std::string_view text, std::size_t at, char& code) {
  const std::string_view rest = text.substr(at + 1);
  for (const Named& n : kNamed) {
    if (rest.size() >= n.name.size() && strncasecmp(rest.data(), n.name.data(), n.name.size()) == 0) {
      code = n.code;
      return n.name.size() + 1;
    }
  }
  if (rest.empty() || rest[0] != '#') return 0;
  const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
  std::size_t i = hex ? 2 : 1;
  unsigned value = 0;
  const std::size_t digits = i;
  for (; i < rest.size() && i < digits + 8; ++i) {
    const char c = rest[i];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(d);
  }
  if (i == digits || value == 0 || value >= 0x80) return 0;
  code = static_cast<char>(value);
  return i + 1 + (i < rest.size() && rest[i] == ';' ? 1 : 0);
}

class Collector : public CCssScanner {
 public:
  explicit Collector(const std::function<std::string(const Reference&)>& replace) : m_replace(replace) {}
  struct Change {
    std::int64_t start, end;
    std::string text;
  };
  std::vector<Change> changes;

 protected:
  void OnReference(const Reference& reference) override {
    std::string text = m_replace(reference);
    if (!text.empty()) changes.push_back({reference.start, reference.end, std::move(text)});
  }

 private:
  const std::function<std::string(const Reference&)>& m_replace;
};

}  // namespace

int StyleSlot(const SGMLTagDef& tag) {
  // Every tag of a page asks: the first letter spares nearly all compares.
  for (int i = 0; i < tag.attributeCount; ++i)
    if ((tag.attributes[i][0] | 0x20) == 's' && strcasecmp(tag.attributes[i], "STYLE") == 0) return i;
  return -1;
}

std::string RewriteStyleAttribute(const std::string& value,
                                  const std::function<std::string(const CCssScanner::Reference&)>& replace) {
  // The CSS a browser reads, and where each of its bytes stands in value.
  std::string css;
  std::vector<std::size_t> at;
  css.reserve(value.size());
  at.reserve(value.size() + 1);
  for (std::size_t i = 0; i < value.size();) {
    char code = 0;
    const std::size_t length = value[i] == '&' ? Reference(value, i, code) : 0;
    at.push_back(i);
    css += length ? code : value[i];
    i += length ? length : 1;
  }
  at.push_back(value.size());

  Collector collector(replace);
  collector.Scan(css.data(), css.size());
  collector.Finish();
  if (collector.changes.empty()) return value;
  std::string out;
  std::size_t copied = 0;
  for (const Collector::Change& change : collector.changes) {
    out.append(value, copied, at[static_cast<std::size_t>(change.start)] - copied);
    for (const char c : change.text) {
      if (c == '&')
        out += "&amp;";
      else
        out += c;
    }
    copied = at[static_cast<std::size_t>(change.end)];
  }
  out.append(value, copied, std::string::npos);
  return out;
}

}  // namespace hv

// The engine's string table: every text the engine loads by number.
#include <algorithm>
#include <iterator>

#include "resources/resources.h"

namespace hv::res {
namespace {

struct Entry {
  unsigned id;
  const char* text;
};

// Sorted by number.
constexpr Entry kStrings[] = {
    {1, "Harvion/2.0"},
    {2, "hvx"},
    {7, "3S%06x%s"},
    {8, "Harvion Cache.hvc"},
    {9, "hvempty.gif"},
    {11, "Startup Agent"},
    {14, "3S*.*"},
    {106,
     "<HTML>\r\n"
     "<HEAD>\r\n"
     "<TITLE>Harvion Plugin Agent</TITLE>\r\n"
     "\r\n"
     "<SCRIPT LANGUAGE=\"JAVASCRIPT\">\r\n"
     "\r\n"
     "function setStatus()\r\n"
     "{\r\n"
     "   if(navigator.userAgent.indexOf(\"MSIE\") > -1)\r\n"
     "   {\r\n"
     "   window.defaultstatus = \"Harvion: \" + window.frames[1].location.href;\r\n"
     "    var t = setTimeout(\"setStatus()\",1000)\r\n"
     "   }\r\n"
     "}\r\n"
     "</SCRIPT>\r\n"
     "</HEAD>\r\n"
     "<FRAMESET COLS=\"230,*\" onLoad=\"setStatus()\">\r\n"
     "<FRAME NAME=_HVAgent SRC=\"../%s.%s\">\r\n"
     "<FRAME NAME=_HVPage SRC=\"%s\">\r\n"
     "</FRAMESET>\r\n"},
    {500, "<H2>Transfer Interrupted</H2></HTML>"},
    {501, "Unable to create temporary file"},
    {504, "Copy of %s"},
    {505, "Copy(%d) of %s"},
    {530, "Hourly"},
    {531, "Periodically"},
    {532, "Weekdays"},
    {533, "Weekly"},
    {534, "Monthly"},
    {573, "Harvon Plugin"},
    {584, "Site map"},
    {585, "Text only"},
    {586, "Text and graphics"},
    {587, "All files"},
    {588, "Unrestricted"},
    {589, "Links within site"},
    {590, "Links within directory"},
    {591, "Links outside site"},
    {654, "Inside server"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

}  // namespace

const char* FindString(unsigned id) {
  auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                             [](const Entry& e, unsigned key) { return e.id < key; });
  return (it != std::end(kStrings) && it->id == id) ? it->text : nullptr;
}

std::string LoadString(unsigned id) {
  const char* s = FindString(id);
  return s ? std::string(s) : std::string();
}

}  // namespace hv::res

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
    {4, "%a, %d %b %Y %H:%M:%S GMT"},
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
    {126, "%a, %d %b %Y %H:%M"},
    {203, "Alta Vista"},
    {204, "http://altavista.search.example/cgi-bin/query"},
    {205, "pg=q&what=web&q=%KEY&Submit.x=36&Submit.y=6"},
    {206, "Excite NetSearch"},
    {207, "http://excite.search.example/search.gw"},
    {208, "search=%KEY&mode=relevance&showqbe=1&display=html3%2Chb&category=default"},
    {209, "InfoSeek Search"},
    {210, "http://infoseek.search.example/Titles"},
    {211, "qt=%KEY"},
    {212, "Lycos"},
    {213, "http://lycos.search.example/cgi-bin/pursuit"},
    {214, "query=%KEY"},
    {215, "Open Text Index"},
    {216, "http://opentext.search.example/omw/simplesearch"},
    {217, "mode=and&SearchFor=%KEY"},
    {218, "Yahoo Search"},
    {219, "http://yahoo.search.example/bin/search"},
    {220, "p=%KEY"},
    {221, "WebCrawler"},
    {222, "http://webcrawler.search.example/cgi-bin/WebQuery"},
    {223, "searchText=%KEY&andOr=all&maxHits=25"},
    {224, "Alta Vista Usenet News Search"},
    {225, "http://altavista.search.example/cgi-bin/query"},
    {226, "pg=q&what=news&q=%KEY&Submit.x=31&Submit.y=11"},
    {227, "Excite Usenet News Search"},
    {228, "http://excite.search.example/search.gw"},
    {229, "searchType=Keyword&search=%KEY&submit=Search&category=news&mode=relevance&showqbe=1&display=html2%2Clb"},
    {230, "DejaNews Usenet News Search"},
    {231, "http://dejanews.search.example/cgi-bin/nph-dnquery.xp"},
    {232, "defaultOp=AND&svcclass=dncurrent&query=%KEY"},
    {233, "Local search"},
    {234, "http://search.example/cgi-bin/search"},
    {235, "Stype=RS&ckw=%KEY&lbl=&date=&SelType=LVAT&ROrder=M&rlim=10"},
    {500, "<H2>Transfer Interrupted</H2></HTML>"},
    {501, "Unable to create temporary file"},
    {502, "Unable to create cache file"},
    {503, "Plugin Settings"},
    {504, "Copy of %s"},
    {505, "Copy(%d) of %s"},
    {506, "Unable to open local file"},
    {507, "Unable to nest items more than %d levels deep"},
    {508, "The cache index was damaged and is kept as %s; the agent's stored pages stay until it is run again"},
    {530, "Hourly"},
    {531, "Periodically"},
    {532, "Weekdays"},
    {533, "Weekly"},
    {534, "Monthly"},
    {535, "Modify Schedule Settings"},
    {536, "Add Schedule"},
    {565, "Search Engines"},
    {568, "Modify Search Engine"},
    {569, "Add Search Engine"},
    {570, "Modify Password"},
    {571, "Add Password"},
    {572, "You must specify a user name"},
    {573, "Harvon Plugin"},
    {574, "This resource already has a username. Choose Modify to edit."},
    {575, "Passwords"},
    {576, "You must specify a resource name"},
    {577, "You must specify a search engine location"},
    {578, "You must specify a query string"},
    {579, "You must specify a name for this search engine"},
    {580, "A search engine with this name already exists. Choose Modify to edit."},
    {581, "File Types"},
    {582, "Schedules"},
    {583, "Locations"},
    {584, "Site map"},
    {585, "Text only"},
    {586, "Text and graphics"},
    {587, "All files"},
    {588, "Unrestricted"},
    {589, "Links within site"},
    {590, "Links within directory"},
    {591, "Links outside site"},
    {592, "You must enter a name for the retrieval strategy"},
    {593, "A retrieval strategy with this name already exists. Choose Modify to edit."},
    {594, "Retrieve site map only"},
    {595, "Retrieve text only"},
    {596, "Retrieve text and graphics"},
    {597, "Retrieve all file types"},
    {598, "Unrestricted retrieval"},
    {599, "Restrict retrieval to the site"},
    {600, "Restrict retrieval to directory"},
    {601, "Retrieve only outside of site"},
    {602, "Modify File Types"},
    {603, "Add File Types"},
    {604, "Modify Locations"},
    {605, "Add Location"},
    {606, "The folder %s can not be created."},
    {607, "Select a folder for your 'Agents' subfolder"},
    {608, "Agents"},
    {609, "Opening Port"},
    {610, "Port Opened"},
    {611, "Connecting Device"},
    {612, "Device Connected"},
    {613, "All Devices Connected"},
    {614, "Starting Authentication"},
    {615, "Authentication Notify"},
    {616, "Authentication Retry"},
    {617, "Callback Requested"},
    {618, "Change Password Requested"},
    {619, "Projection Phase Started"},
    {620, "Link Speed Calculation"},
    {621, "Authentication Acknowledged"},
    {622, "Reauthenticatation Started"},
    {623, "Authenticated"},
    {624, "Preparation For Callback"},
    {625, "Waiting For Modem Reset"},
    {626, "Waiting For Callback"},
    {627, "Interactive"},
    {628, "Retry Authentication"},
    {629, "Callback Set By Caller"},
    {630, "Password Expired"},
    {631, "Connected"},
    {632, "Disconnected"},
    {633, "Undefine Ras Error Code"},
    {634, "Connecting to "},
    {635, "Please specify a valid connection to use"},
    {636, "Could not dial"},
    {637, "You must specify a name for the schedule"},
    {638, "This name is in use."},
    {639,
     "This doesn't seem to be a valid hour specification. Try \"hh:mm xM\" format, where hh is hour, mm is minute "
     "and x=A or P."},
    {640, "You must select at least one day when you want to run this schedule."},
    {641, "Every hour, %d minutes after the hour."},
    {642, "Every %d minutes between %s and %s on %s."},
    {643, "At %s on every %s"},
    {644, "At %s on the %s day of every month."},
    {645, "Sunday"},
    {646, "Monday"},
    {647, "Tuesday"},
    {648, "Wednesday"},
    {649, "Thursday"},
    {650, "Friday"},
    {651, "Saturday"},
    {652, "Start time must be before end time."},
    {653, "Every minute between %s and %s on %s."},
    {654, "Inside server"},
    {655, "Restrict retrieval to the server"},
    {656, "Every hour, %d minute after the hour."},
    {900, "Software"},
    {901, "Tessarine"},
    {902, "Harvion Plugin"},
    {903, "3.0"},
    {904, "Proxy"},
    {905, "HTTP Proxy Server"},
    {906, "HTTP Proxy Port"},
    {907, "Use Proxy"},
    {908, "Cache"},
    {909, "Directory"},
    {910, "Agents"},
    {911, "User Agent"},
    {912, "Connections"},
    {913, "Threads"},
    {914, "Timeout"},
    {915, "Enable Autodial"},
    {916, "Connection Name"},
    {917, "Search Engines"},
    {918, "Query String"},
    {919, "Authentication"},
    {920, "Password"},
    {921, "Schedule"},
    {922, "Enable Schedule"},
    {923, "Settings"},
    {924, "Run"},
    {925, "Max Page Size"},
    {926, "Server"},
    {927, "Realm"},
    {930, "Keep Alive"},
    {931, "CA File"},
    {935, "On Change"},
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

#include "shell/status_texts.h"

#include <QDateTime>
#include <QLocale>
#include <utility>

namespace hvui {

namespace {

// The program's own wording, kept as it has always read (typos included):
// these are the texts people know from the status column.
constexpr std::pair<int, const char*> kTexts[] = {
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authorative Information"},
    {204, "No Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {303, "See Other"},
    {304, "Not Modified"},
    {400, "Bad Request"},
    {401, "Unauthorzied"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "None Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Authorization Refused"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

}  // namespace

QString StatusText(int code) {
  for (const auto& [number, text] : kTexts)
    if (number == code) return QString::fromLatin1(text);
  return QStringLiteral("N/A");
}

QString GmtTimeText(std::uint32_t secondsSince1970) {
  if (secondsSince1970 == 0) return QStringLiteral("N/A");
  const QDateTime time = QDateTime::fromSecsSinceEpoch(secondsSince1970, Qt::UTC);
  // Day and month names in English whatever the user's language: the form of an HTTP date.
  return QLocale::c().toString(time, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
}

}  // namespace hvui

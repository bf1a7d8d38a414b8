#include "shell/plugin_browser_host.h"

#include <algorithm>

#include "harvion/child_window.h"
#include "harvion/exports.h"
#include "harvion/global_memory.h"
#include "harvion/message_target.h"
#include "harvion/plugin_messages.h"
#include "harvion/window_messages.h"

namespace hvui {

namespace {

constexpr unsigned kAnswerWaitMs = 3000;
// Enter with a repeat count of 1 and its scan code.
constexpr LPARAM kEnterKeyData = 0x001C0001;

QString FromBytes(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

}  // namespace

CPluginBrowserHost::CPluginBrowserHost(HWND browserWindow, BrowserKind kind, HWND locationEdit)
    : m_browser(browserWindow), m_kind(kind), m_edit(locationEdit) {}

QString CPluginBrowserHost::CurrentLocation() const {
  return IsWindow(m_edit) ? FromBytes(GetWindowText(m_edit)) : QString();
}

QString CPluginBrowserHost::CurrentPageTitle() const { return FromBytes(GetWindowText(m_browser)); }

bool CPluginBrowserHost::Navigate(const QString& urlOrPath) {
  const QByteArray target = urlOrPath.toUtf8();
  if (m_kind == BrowserKind::Netscape) {
    HDROP drop = CreateHdrop();
    HDROP filled = drop ? AppendFileToHdrop(drop, target.constData()) : nullptr;
    if (!filled) {
      if (drop) GlobalFree(drop);
      return false;
    }
    // Once posted, the block is the browser's to free.
    if (PostMessage(m_browser, WM_DROPFILES, reinterpret_cast<WPARAM>(filled), 0)) return true;
    GlobalFree(filled);
    return false;
  }
  // Focus and the foreground belong to the window system here; typing the
  // address and Enter is what makes the browser go.
  return SetWindowText(m_edit, target.constData()) && PostMessage(m_edit, WM_KEYDOWN, VK_RETURN, kEnterKeyData);
}

QString CPluginBrowserHost::StatusBarLocation() const {
  if (m_kind != BrowserKind::InternetExplorer) return {};
  const HWND bar = FindWindowEx(m_browser, nullptr, "msctls_statusbar32", nullptr);
  if (!bar) return {};
  LRESULT length = 0;
  if (!SendMessageTimeout(bar, SB_GETTEXTLENGTH, 0, 0, kAnswerWaitMs, &length) || (length & 0xFFFF) == 0) return {};
  // Room for the longest text a window passes to another process.
  std::string text(kMaxWindowText + 1, '\0');
  if (!SendMessageTimeout(bar, SB_GETTEXT, 0, reinterpret_cast<LPARAM>(text.data()), kAnswerWaitMs, &length)) return {};
  text.resize(strnlen(text.data(), text.size() - 1));
  return UrlFromStatusText(FromBytes(text));
}

std::vector<std::string> CPluginBrowserHost::AgentListEntries() const {
  std::vector<std::string> names;
  const HWND list = FindWindowEx(m_browser, nullptr, "ListBox", nullptr);
  if (!list) return names;
  LRESULT count = 0;
  SendMessageTimeout(list, WM_HVP_REFRESH_LIST, 0, 0, kAnswerWaitMs, nullptr);
  if (!SendMessageTimeout(list, LB_GETCOUNT, 0, 0, kAnswerWaitMs, &count) || count <= 0) return names;
  // Entries past the menu's room are never shown: they are not read.
  const LRESULT shown = std::min<LRESULT>(count, kMaxAgentEntries);
  for (LRESULT i = 0; i < shown; ++i) {
    LRESULT length = 0;
    if (!SendMessageTimeout(list, LB_GETTEXTLEN, WPARAM(i), 0, kAnswerWaitMs, &length) || length == LB_ERR) break;
    char text[kMaxWindowText + 1] = {};
    if (length < 0 || std::size_t(length) > kMaxWindowText ||
        !SendMessageTimeout(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text), kAnswerWaitMs, &length) ||
        length == LB_ERR) {
      // Kept in its place, too long to be offered: the commands count by index.
      names.emplace_back(kMaxAgentNameLength + 1, '?');
      continue;
    }
    names.emplace_back(text, strnlen(text, kMaxWindowText));
  }
  return names;
}

}  // namespace hvui

#include "host_session.h"

namespace hvhost {

std::string FileUrlOf(const std::string& urlOrPath) {
  if (urlOrPath.empty() || urlOrPath[0] != '/') return urlOrPath;
  static const char hex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const unsigned char c : urlOrPath) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 0xF];
    }
  }
  return url;
}

void HostSession::Handle(const JsonMessage& message) {
  const std::string_view type = Member(message, "type");
  if (type == "open") {
    // Only the stored copies hvmain asked for: nothing else is run.
    const std::string url(Member(message, "url"));
    if (url.rfind("file:///", 0) != 0 || !m_opener || !m_opener(url)) SendError("cannot open " + url);
    return;
  }
  if (!m_link) {
    SendError("the host has no link to Harvion");
    return;
  }
  if (type == "page") {
    m_link->SetPage(std::string(Member(message, "url")), std::string(Member(message, "title")));
  } else if (type == "add") {
    Act(BrowserLink::Action::addPage, message);
  } else if (type == "offline") {
    Act(BrowserLink::Action::show, message);
  } else if (type == "status") {
    SendStatus();
  } else {
    SendError("unknown message type '" + std::string(type) + "'");
  }
}

void HostSession::Act(BrowserLink::Action action, const JsonMessage& message) {
  if (message.contains("url"))
    m_link->SetPage(std::string(Member(message, "url")), std::string(Member(message, "title")));
  bool done = false;
  if (m_link->Connected()) {
    done = action == BrowserLink::Action::addPage ? m_link->AddPage() : m_link->Show();
    if (!done) SendError("Harvion did not take the request");
  } else {
    std::string error;
    done = m_link->Start(std::string(Member(message, "agent")), action, error);
    if (!done) SendError("Harvion could not be started: " + error);
  }
  if (done) SendStatus();
}

void HostSession::SendStatus() {
  const bool running = m_link->Connected();
  m_writer.Write(WriteJsonMessage({{"type", "status"},
                                   {"running", running ? "true" : "false"},
                                   {"agent", running ? m_link->OpenAgentName() : std::string()}}));
}

void HostSession::Navigate(const std::string& urlOrPath) {
  m_writer.Write(WriteJsonMessage({{"type", "navigate"}, {"url", FileUrlOf(urlOrPath)}}));
}

void HostSession::FrameGone() {
  m_writer.Write(WriteJsonMessage({{"type", "status"}, {"running", "false"}, {"agent", ""}}));
}

void HostSession::End() {
  if (m_link && m_link->Connected()) m_link->Quit();
}

void HostSession::SendError(const std::string& text) {
  m_writer.Write(WriteJsonMessage({{"type", "error"}, {"message", text}}));
}

}  // namespace hvhost

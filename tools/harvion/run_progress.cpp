#include "run_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "display_text.h"
#include "terminal_prompt.h"

namespace harvion {

namespace {

// Often enough to look alive, seldom enough not to flood a slow terminal.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Size(unsigned long bytes) {
  if (bytes < 10 * 1024) return std::to_string(bytes) + " B";
  if (bytes < 10 * 1024 * 1024) return std::to_string(bytes / 1024) + " KB";
  return std::to_string(bytes / (1024 * 1024)) + " MB";
}

// Cuts UTF-8 text to a number of code points, never inside a character.
std::string FirstColumns(const std::string& text, std::size_t columns) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (count++ == columns) return text.substr(0, i);
  }
  return text;
}

}  // namespace

std::size_t TerminalWidth() {
  if (!isatty(STDOUT_FILENO)) return 0;
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

RunProgress::RunProgress(std::ostream& out, std::size_t width, unsigned long folderBytes)
    : m_out(out), m_width(width), m_folderBytes(folderBytes) {}

std::string RunProgress::Line(unsigned done, unsigned queued, unsigned long bytes, const std::string& url,
                              std::size_t width) {
  std::string line = std::to_string(done) + "/" + std::to_string(queued) + " pages  " + Size(bytes) + " received";
  if (!url.empty()) line += "  " + Printable(url);
  // The last column stays free: writing into it wraps some terminals.
  return width > 1 ? FirstColumns(line, width - 1) : line;
}

void RunProgress::PageQueued() {
  const std::lock_guard lock(m_mutex);
  ++m_queued;
  Draw(false);
}

void RunProgress::PageStarted(const std::string& url) {
  const std::lock_guard lock(m_mutex);
  m_fetching = url;
  Draw(false);
}

void RunProgress::PageLoaded(const std::string& url, const _httpRetrieveResult& result) {
  const std::lock_guard lock(m_mutex);
  ++m_done;
  if (m_width != 0) {
    Draw(m_done == m_queued);
    return;
  }
  if (m_stopping && result.statusCode == 0) return;
  // No status: the page got no answer at all.
  const std::string status = result.statusCode != 0 ? std::to_string(result.statusCode) : "---";
  m_out << status << ' ' << Printable(url) << std::endl;
}

void RunProgress::Statistics(unsigned long, unsigned long bytes) {
  const std::lock_guard lock(m_mutex);
  // Each body grows the folder by its size; a page fetched again first
  // gives back its old copy's size, which is no transfer and not counted.
  if (bytes > m_folderBytes) m_bytes += bytes - m_folderBytes;
  m_folderBytes = bytes;
  Draw(false);
}

void RunProgress::ServerProgress(CUIClient::serverProgress progress) {
  const std::lock_guard lock(m_mutex);
  if (progress == CUIClient::spFinished || progress == CUIClient::spInterrupted) {
    m_ended = true;
    m_interrupted = progress == CUIClient::spInterrupted;
    m_endChanged.notify_all();
  }
}

void RunProgress::Stopping() {
  const std::lock_guard lock(m_mutex);
  m_stopping = true;
}

bool RunProgress::WaitForEnd() {
  std::unique_lock lock(m_mutex);
  m_endChanged.wait(lock, [this] { return m_ended; });
  return m_interrupted;
}

void RunProgress::Finish() {
  const std::lock_guard lock(m_mutex);
  if (m_width == 0 || !m_lineShown) return;
  Draw(true);
  m_out << '\n' << std::flush;
  m_lineShown = false;
}

void RunProgress::Draw(bool force) {
  if (m_width == 0 || TerminalPromptOpen()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && m_lineShown && now - m_lastDraw < kRedrawInterval) return;
  m_lastDraw = now;
  m_lineShown = true;
  // "\033[K" clears what a longer earlier line left to the right.
  m_out << '\r' << Line(m_done, m_queued, m_bytes, m_fetching, m_width) << "\033[K" << std::flush;
}

}  // namespace harvion

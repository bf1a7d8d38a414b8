// What a run shows while it goes on. On a terminal: one line, redrawn, with
// the pages done of those queued, the bytes received and the page being
// fetched. Elsewhere (a log, a pipe): one plain line per finished page.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>

#include "headless_ui_client.h"

namespace harvion {

class RunProgress final : public RunObserver {
 public:
  // width: the terminal's columns, 0 for the plain lines; folderBytes: the
  // agent folder's size before the run, from which its growth is counted.
  RunProgress(std::ostream& out, std::size_t width, unsigned long folderBytes);

  void PageQueued() override;
  void PageStarted(const std::string& url) override;
  void PageLoaded(const std::string& url, const _httpRetrieveResult& result) override;
  void Statistics(unsigned long files, unsigned long bytes) override;
  void ServerProgress(CUIClient::serverProgress progress) override;

  // The user stopped the run: the pages dropped unanswered from now on get
  // no line each; the command's last line counts them.
  void Stopping();
  // Until the engine reports the run's end; true when it ended interrupted.
  bool WaitForEnd();
  // Clears the progress line so that what follows starts on a clean line.
  void Finish();

  // The progress line, cut to width columns (0: no limit).
  static std::string Line(unsigned done, unsigned queued, unsigned long bytes, const std::string& url,
                          std::size_t width);

 private:
  void Draw(bool force);

  std::ostream& m_out;
  const std::size_t m_width;
  std::mutex m_mutex;
  std::condition_variable m_endChanged;
  unsigned m_queued = 0;
  unsigned m_done = 0;
  unsigned long m_folderBytes;  // as last posted
  unsigned long m_bytes = 0;    // received in this run
  std::string m_fetching;
  bool m_ended = false;
  bool m_interrupted = false;
  bool m_stopping = false;
  bool m_lineShown = false;
  std::chrono::steady_clock::time_point m_lastDraw{};
};

// The terminal's width when standard output is one, else 0.
std::size_t TerminalWidth();

}  // namespace harvion

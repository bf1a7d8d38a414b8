#include "browser_component.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "dropped_file.h"
#include "harvion/child_window.h"
#include "harvion/global_memory.h"
#include "harvion/message_target.h"
#include "harvion/plugin_messages.h"
#include "harvion/shared_memory_block.h"
#include "harvion/window_messages.h"
#include "hvmain_process.h"

namespace hvside {

namespace {

// The windows a program recognises each kind by: child identifiers from the
// browser window down to the address field.
constexpr int kNetscapeMarker = 59519;
constexpr int kNetscapeChain[] = {112, 25000, 1001};
constexpr int kExplorerChain[] = {40965, 40965, 40962, 40962, 40962};
constexpr const char* kExplorerClass = "IEFrame";
constexpr const char* kStatusBarClass = "msctls_statusbar32";
constexpr const char* kListBoxClass = "ListBox";
constexpr const char* kHostClass = "Harvion_Plugin_Host";
constexpr unsigned kAnswerWaitMs = 5000;
// How often the message thread looks whether the frame still exists.
constexpr auto kFrameWatch = std::chrono::milliseconds(300);

// A page without a title is named by its address, as browsers do.
std::string WindowTitle(BrowserKind kind, const std::string& title, const std::string& address) {
  const std::string& page = title.empty() ? address : title;
  if (kind == BrowserKind::netscape) return "Netscape - [" + page + "]";
  return page.empty() ? std::string("Internet Explorer") : page + " - Internet Explorer";
}

// WM_GETTEXT's answer: the text cut to the buffer, with its zero.
LRESULT CopyText(const std::string& text, WPARAM size, LPARAM buffer) {
  if (!buffer || size == 0) return 0;
  const std::size_t copied = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(reinterpret_cast<char*>(buffer), text.data(), copied);
  reinterpret_cast<char*>(buffer)[copied] = '\0';
  return LRESULT(copied);
}

LRESULT CopyWhole(const std::string& text, LPARAM buffer) {
  const std::string cut = text.substr(0, kMaxWindowText);
  return CopyText(cut, cut.size() + 1, buffer);
}

}  // namespace

struct BrowserComponent::State {
  BrowserKind kind;
  Callbacks callbacks;

  mutable std::mutex mutex;  // guards the texts and the frame below
  std::string address, title, status, typed;
  std::vector<std::string> agents;
  std::vector<std::string> extraArguments;
  HWND frame = nullptr;
  std::unique_ptr<ChildProcess> child;
  std::unique_ptr<SharedMemoryBlock> block;

  HWND browser = nullptr, edit = nullptr, statusBar = nullptr, listBox = nullptr, host = nullptr;
  std::vector<HWND> windows;  // every target made, children last

  // The message thread: callbacks run here, one at a time, never on the
  // thread that delivers messages from other processes.
  std::mutex queueMutex;
  std::condition_variable queueChanged;
  std::deque<std::function<void()>> queue;
  bool stopping = false;
  std::thread thread;

  void Post(std::function<void()> call) {
    std::lock_guard lock(queueMutex);
    queue.push_back(std::move(call));
    queueChanged.notify_all();
  }

  void RunQueue() {
    std::unique_lock lock(queueMutex);
    for (;;) {
      queueChanged.wait_for(lock, kFrameWatch, [&] { return stopping || !queue.empty(); });
      if (stopping) return;
      if (queue.empty()) {
        lock.unlock();
        WatchFrame();
        lock.lock();
        continue;
      }
      auto call = std::move(queue.front());
      queue.pop_front();
      lock.unlock();
      call();
      lock.lock();
    }
  }

  void WatchFrame() {
    HWND watched;
    {
      std::lock_guard lock(mutex);
      watched = frame;
    }
    if (!watched || IsWindow(watched)) return;
    {
      std::lock_guard lock(mutex);
      if (frame != watched) return;
      frame = nullptr;
    }
    if (callbacks.frameGone) callbacks.frameGone();
  }

  std::string Text(const std::string State::*field) const {
    std::lock_guard lock(mutex);
    return this->*field;
  }

  HWND Make(const char* className, const char* windowTitle, const WindowStyle& style,
            std::function<LRESULT(UINT, WPARAM, LPARAM)> answer) {
    auto posted = [answer](UINT message, WPARAM wParam, LPARAM lParam) { answer(message, wParam, lParam); };
    auto sent = [answer](UINT message, WPARAM wParam, LPARAM lParam, ReplyFunction reply) {
      reply(answer(message, wParam, lParam));
    };
    const HWND window = CreateMessageTarget(posted, sent);
    if (!window) return nullptr;
    windows.push_back(window);
    return PublishWindow(window, className, windowTitle, style) ? window : nullptr;
  }

  // A window whose text is one of the fields above.
  LRESULT AnswerText(const std::string State::*field, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXTLENGTH) return LRESULT(std::min(Text(field).size(), kMaxWindowText));
    if (message == WM_GETTEXT) return CopyText(Text(field), wParam, lParam);
    return 0;
  }

  LRESULT AnswerBrowser(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXT || message == WM_GETTEXTLENGTH) {
      std::string shown;
      {
        std::lock_guard lock(mutex);
        shown = WindowTitle(kind, title, address);
      }
      return message == WM_GETTEXT ? CopyText(shown, wParam, lParam)
                                   : LRESULT(std::min(shown.size(), kMaxWindowText));
    }
    if (message == WM_HVP_SHOW && callbacks.shown) Post([this, attached = wParam != 0] { callbacks.shown(attached); });
    if (message == WM_DROPFILES) {
      const auto drop = reinterpret_cast<HDROP>(wParam);
      const std::string path = FirstDroppedFile(drop);
      GlobalFree(drop);
      if (!path.empty() && callbacks.navigate) Post([this, path] { callbacks.navigate(path); });
    }
    return 0;
  }

  LRESULT AnswerEdit(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) {
      if (!lParam) return 0;
      std::lock_guard lock(mutex);
      typed = reinterpret_cast<const char*>(lParam);
      return 1;
    }
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
      std::string go;
      {
        std::lock_guard lock(mutex);
        go = typed;
        address = typed;
      }
      if (!go.empty() && callbacks.navigate) Post([this, go] { callbacks.navigate(go); });
      return 0;
    }
    // Until Enter, the field shows what was typed into it.
    std::lock_guard lock(mutex);
    const std::string& shown = typed.empty() ? address : typed;
    if (message == WM_GETTEXTLENGTH) return LRESULT(std::min(shown.size(), kMaxWindowText));
    if (message == WM_GETTEXT) return CopyText(shown, wParam, lParam);
    return 0;
  }

  LRESULT AnswerStatusBar(UINT message, WPARAM wParam, LPARAM lParam) {
    const std::string text = Text(&State::status).substr(0, kMaxWindowText);
    if (message == SB_GETTEXTLENGTH) return wParam == 0 ? LRESULT(text.size()) : 0;
    if (message == SB_GETTEXT) return wParam == 0 ? CopyWhole(text, lParam) : 0;
    return AnswerText(&State::status, message, wParam, lParam);
  }

  LRESULT AnswerListBox(UINT message, WPARAM wParam, LPARAM lParam) const {
    std::lock_guard lock(mutex);
    if (message == LB_GETCOUNT) return LRESULT(agents.size());
    if (message != LB_GETTEXTLEN && message != LB_GETTEXT) return 0;
    if (wParam >= agents.size()) return LB_ERR;
    if (message == LB_GETTEXT) return CopyWhole(agents[wParam], lParam);
    return LRESULT(std::min(agents[wParam].size(), kMaxWindowText));
  }

  LRESULT AnswerHost(UINT message) {
    if (message != WM_HVP_NAVIGATE || !callbacks.navigate) return 0;
    std::string url;
    {
      std::lock_guard lock(mutex);
      if (block) url = block->ReadText();
    }
    if (!url.empty()) Post([this, url] { callbacks.navigate(url); });
    return 0;
  }

  bool Build() {
    const bool netscape = kind == BrowserKind::netscape;
    const char* browserClass = netscape ? "Netscape_Browser" : kExplorerClass;
    browser = Make(browserClass, WindowTitle(kind, "", "").c_str(), WindowStyle{nullptr, 0, true, !netscape},
                   [this](UINT m, WPARAM w, LPARAM l) { return AnswerBrowser(m, w, l); });
    if (!browser) return false;
    auto plain = [](UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    HWND parent = browser;
    std::vector<int> chain;
    if (netscape) {
      if (!Make("Netscape_Toolbar", "", {browser, kNetscapeMarker, true, false}, plain)) return false;
      chain.assign(std::begin(kNetscapeChain), std::end(kNetscapeChain));
    } else {
      chain.assign(std::begin(kExplorerChain), std::end(kExplorerChain));
    }
    for (std::size_t i = 0; i < chain.size(); ++i) {
      const bool last = i + 1 == chain.size();
      parent = last ? Make("Edit", "", {parent, chain[i], true, false},
                           [this](UINT m, WPARAM w, LPARAM l) { return AnswerEdit(m, w, l); })
                    : Make("Harvion_Pane", "", {parent, chain[i], true, false}, plain);
      if (!parent) return false;
    }
    edit = parent;
    if (!netscape) {
      statusBar = Make(kStatusBarClass, "", {browser, 0, true, false},
                       [this](UINT m, WPARAM w, LPARAM l) { return AnswerStatusBar(m, w, l); });
      if (!statusBar) return false;
    }
    listBox = Make(kListBoxClass, "", {browser, 0, false, false},
                   [this](UINT m, WPARAM w, LPARAM l) { return AnswerListBox(m, w, l); });
    host = Make(kHostClass, "", {browser, 0, true, false}, [this](UINT m, WPARAM, LPARAM) { return AnswerHost(m); });
    return listBox && host;
  }
};

BrowserComponent::BrowserComponent(BrowserKind kind, Callbacks callbacks) : m_state(std::make_shared<State>()) {
  m_state->kind = kind;
  m_state->callbacks = std::move(callbacks);
  m_state->thread = std::thread([state = m_state.get()] { state->RunQueue(); });
  if (!m_state->Build()) m_state->browser = nullptr;
}

BrowserComponent::~BrowserComponent() {
  // Children first, so nobody walks from a listed child to a gone parent.
  for (auto it = m_state->windows.rbegin(); it != m_state->windows.rend(); ++it) DestroyMessageTarget(*it);
  {
    std::lock_guard lock(m_state->queueMutex);
    m_state->stopping = true;
    m_state->queueChanged.notify_all();
  }
  m_state->thread.join();
}

HWND BrowserComponent::BrowserWindow() const { return m_state->browser; }
HWND BrowserComponent::HostWindow() const { return m_state->host; }

HWND BrowserComponent::FrameWindow() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->frame;
}

void BrowserComponent::SetPage(const std::string& address, const std::string& title) {
  std::lock_guard lock(m_state->mutex);
  m_state->address = address;
  m_state->typed.clear();
  m_state->title = title;
}

std::string BrowserComponent::Address() const { return m_state->Text(&State::address); }

void BrowserComponent::SetStatusText(const std::string& text) {
  std::lock_guard lock(m_state->mutex);
  m_state->status = text;
}

void BrowserComponent::SetAgents(std::vector<std::string> names) {
  std::lock_guard lock(m_state->mutex);
  m_state->agents = std::move(names);
}

bool BrowserComponent::Start(const std::string& agent, StartMode mode, std::string& error,
                             std::chrono::milliseconds timeout) {
  if (!m_state->browser) {
    error = "the browser window could not be listed (is the runtime folder usable?)";
    return false;
  }
  if (agent.size() >= SharedMemoryBlock::kSize || agent.find('\0') != std::string::npos) {
    error = "an agent name must be shorter than 512 bytes";
    return false;
  }
  const std::string title = PluginFrameTitle(m_state->browser);
  {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->block) m_state->block = std::make_unique<SharedMemoryBlock>(SharedBlockName(title), false);
  }
  if (const HWND frame = FindWindow(kPluginFrameClass, title.c_str())) {
    {
      std::lock_guard lock(m_state->mutex);
      m_state->frame = frame;
    }
    const bool opened = agent.empty() || OpenAgent(agent);
    const bool moved = mode == StartMode::attach ? Attach() : mode == StartMode::show ? Show() : AddPage();
    if (!opened || !moved) error = "the frame for this browser window did not take the messages";
    return opened && moved;
  }
  {
    std::lock_guard lock(m_state->mutex);
    m_state->block->WriteText(agent);
  }
  const std::string browser = std::to_string(reinterpret_cast<std::uintptr_t>(m_state->browser));
  const std::string host =
      mode == StartMode::attach ? std::to_string(reinterpret_cast<std::uintptr_t>(m_state->host)) : "0";
  std::vector<std::string> arguments = {"--no-splash", "--browser-window", browser, "--host-window", host};
  if (mode == StartMode::show) arguments.push_back("--show");
  {
    std::lock_guard lock(m_state->mutex);
    arguments.insert(arguments.end(), m_state->extraArguments.begin(), m_state->extraArguments.end());
  }
  auto child = ChildProcess::Start(HvmainProgram(), arguments, error);
  if (!child) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const HWND frame = FindWindow(kPluginFrameClass, title.c_str())) {
      std::lock_guard lock(m_state->mutex);
      m_state->frame = frame;
      m_state->child = std::move(child);
      return true;
    }
    if (const auto code = child->ExitCode()) {
      error = "hvmain ended at start (exit status " + std::to_string(*code) + ")";
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error = "hvmain did not list its frame in time";
      std::lock_guard lock(m_state->mutex);
      m_state->child = std::move(child);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void BrowserComponent::SetExtraArguments(std::vector<std::string> arguments) {
  std::lock_guard lock(m_state->mutex);
  m_state->extraArguments = std::move(arguments);
}

bool BrowserComponent::Connected() const {
  const HWND frame = FrameWindow();
  return frame && IsWindow(frame);
}

std::optional<int> BrowserComponent::ExitCode() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->child ? m_state->child->ExitCode() : std::nullopt;
}

bool BrowserComponent::AddPage() { return PostMessage(FrameWindow(), WM_HVP_ADD_PAGE, 0, 0); }

bool BrowserComponent::OpenAgent(const std::string& name) {
  {
    std::lock_guard lock(m_state->mutex);
    // Written before the message is posted: the frame reads it on arrival.
    if (!m_state->block || !m_state->block->WriteText(name)) return false;
  }
  return PostMessage(FrameWindow(), WM_HVP_OPEN_AGENT, 0, 0);
}

bool BrowserComponent::Show() { return PostMessage(FrameWindow(), WM_HVP_SHOW, 0, 0); }

bool BrowserComponent::Attach() {
  return PostMessage(FrameWindow(), WM_HVP_ATTACH, reinterpret_cast<WPARAM>(m_state->host), 0);
}

bool BrowserComponent::Detach() { return PostMessage(FrameWindow(), WM_HVP_DETACH, 0, 0); }

std::optional<bool> BrowserComponent::Attached() {
  LRESULT result = 0;
  if (!SendMessageTimeout(FrameWindow(), WM_HVP_QUERY_ATTACHED, 0, 0, kAnswerWaitMs, &result)) return std::nullopt;
  return result != 0;
}

bool BrowserComponent::Resize(int width, int height) {
  const auto clamp = [](int value) { return LPARAM(std::clamp(value, 0, 0xFFFF)); };
  return PostMessage(FrameWindow(), WM_HVP_RESIZE, 0, clamp(width) | clamp(height) << 16);
}

bool BrowserComponent::Quit() { return PostMessage(FrameWindow(), WM_HVP_QUIT, 0, 0); }

std::string BrowserComponent::OpenAgentName() {
  char name[kMaxWindowText + 1] = {};
  LRESULT length = 0;
  if (!SendMessageTimeout(FrameWindow(), WM_GETTEXT, sizeof name, reinterpret_cast<LPARAM>(name), kAnswerWaitMs,
                          &length))
    return {};
  return std::string(name, strnlen(name, sizeof name - 1));
}

}  // namespace hvside

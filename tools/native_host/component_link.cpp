// The host's browser window is one the browser-side component publishes;
// hvmain knows it as a Netscape-kind browser, whose "show this page" comes
// as a path or address for the browser to open, which is what an extension
// can do with it.
#include "browser_component.h"
#include "browser_link.h"

namespace hvhost {
namespace {

class ComponentLink final : public BrowserLink {
 public:
  explicit ComponentLink(Events events)
      : m_component(hvside::BrowserKind::netscape,
                    hvside::BrowserComponent::Callbacks{
                        .navigate = std::move(events.navigate),
                        .shown = [](bool) {},
                        .frameGone = std::move(events.frameGone)}) {}

  void SetPage(const std::string& address, const std::string& title) override { m_component.SetPage(address, title); }
  bool Connected() override { return m_component.Connected(); }
  bool Start(const std::string& agent, Action action, std::string& error) override {
    return m_component.Start(agent, action == Action::addPage ? hvside::StartMode::addPage : hvside::StartMode::show,
                             error);
  }
  bool AddPage() override { return m_component.AddPage(); }
  bool Show() override { return m_component.Show(); }
  std::string OpenAgentName() override { return m_component.OpenAgentName(); }
  bool Quit() override { return m_component.Quit(); }

 private:
  hvside::BrowserComponent m_component;
};

}  // namespace

std::unique_ptr<BrowserLink> MakeComponentLink(BrowserLink::Events events) {
  return std::make_unique<ComponentLink>(std::move(events));
}

}  // namespace hvhost

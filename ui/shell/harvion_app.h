// The desktop program's start and end: one instance per user and Harvion
// folder (a second start hands its request to the first and ends), the
// splash window, the frame, and the open agent saved and closed at exit.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "harvion/exports.h"

class QLocalServer;

namespace hvui {

class CMainFrame;

struct StartOptions {
  bool help = false;
  bool splash = true;
  QString agent;       // empty: the agent the engine opens for no name
  QString screenshot;  // save a picture of the window there, then end
  QString messageLog;  // answer message boxes at once, writing them there
  // Set by a browser-side component: the browser window the program serves
  // (0: none, the program runs on its own), the host window or 0, and the
  // flag that chooses showing the agent's view over adding the page.
  quint64 browserWindow = 0;
  quint64 hostWindow = 0;
  bool showFlag = false;
  QString error;  // a usage error
};
StartOptions ParseStartOptions(const QStringList& arguments);
QString UsageText();

class CHarvionApp : public QObject {
  Q_OBJECT
 public:
  CHarvionApp();
  ~CHarvionApp() override;

  // False when this instance should end with StartExitCode(): on its own,
  // another instance serves this user and was asked to show itself (and open
  // the agent named); for a browser window, the window is gone or not a
  // browser, or another instance serves it.
  bool Start(const StartOptions& options);
  int StartExitCode() const { return m_exitCode; }
  CMainFrame* Frame() const { return m_frame.get(); }
  // The name instances meet at, per user and Harvion folder.
  static QString InstanceName();
  // Where the window's size, place and bars are kept between starts.
  static QString LayoutFile();

 private:
  void OnRequest();
  bool StartForBrowser(const StartOptions& options);

  std::unique_ptr<QLocalServer> m_server;
  std::unique_ptr<CMainFrame> m_frame;
  MessageSink m_previousSink;
  bool m_sinkInstalled = false;
  bool m_keepLayout = false;
  int m_exitCode = 0;
};

}  // namespace hvui

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
  QString error;  // a usage error
};
StartOptions ParseStartOptions(const QStringList& arguments);
QString UsageText();

class CHarvionApp : public QObject {
  Q_OBJECT
 public:
  CHarvionApp();
  ~CHarvionApp() override;

  // False when another instance serves this user: it was asked to show
  // itself (and open the agent named), and this one should end.
  bool Start(const StartOptions& options);
  CMainFrame* Frame() const { return m_frame.get(); }
  // The name instances meet at, per user and Harvion folder.
  static QString InstanceName();
  // Where the window's size, place and bars are kept between starts.
  static QString LayoutFile();

 private:
  void OnRequest();

  std::unique_ptr<QLocalServer> m_server;
  std::unique_ptr<CMainFrame> m_frame;
  MessageSink m_previousSink;
  bool m_sinkInstalled = false;
  bool m_keepLayout = false;
};

}  // namespace hvui

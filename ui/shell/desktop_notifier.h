// The desktop's notification for a run that found changes, over the
// session bus (org.freedesktop.Notifications). Clicking it opens the
// report. Without a bus or a notification server nothing is shown.
#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace harvion {
struct ChangeNotice;
}

namespace hvui {

class CDesktopNotifier : public QObject {
  Q_OBJECT
 public:
  explicit CDesktopNotifier(QObject* parent = nullptr);

  // The bus the notifications go to; the session bus unless set.
  void SetConnection(const QDBusConnection& connection);
  // What opens the report on a click; the desktop's handler unless set.
  void SetOpener(std::function<void(const QUrl&)> open) { m_open = std::move(open); }
  // Shows the notice when it is worth it; returns at once.
  void Notify(const harvion::ChangeNotice& notice);

 signals:
  // The notification server took a notification (its number).
  void shown(uint id);

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnClosed(uint id, uint reason);

 private:
  void Listen();
  QDBusConnection& Bus();

  // Connected on the first notice: a program that never notifies starts no
  // D-Bus thread.
  std::optional<QDBusConnection> m_bus;
  bool m_listening = false;
  QHash<uint, QString> m_reports;  // by the notification's number
  std::function<void(const QUrl&)> m_open;
};

}  // namespace hvui

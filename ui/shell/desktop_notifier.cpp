#include "shell/desktop_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QVariantMap>

#include "change_notice.h"
#include "shell/tree_item_node.h"

namespace hvui {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

CDesktopNotifier::CDesktopNotifier(QObject* parent)
    : QObject(parent),
      m_open([](const QUrl& url) { QDesktopServices::openUrl(url); }) {}

void CDesktopNotifier::SetConnection(const QDBusConnection& connection) {
  m_bus = connection;
  m_listening = false;
  m_reports.clear();
}

QDBusConnection& CDesktopNotifier::Bus() {
  if (!m_bus) m_bus = QDBusConnection::sessionBus();
  return *m_bus;
}

void CDesktopNotifier::Listen() {
  if (m_listening) return;
  m_listening = Bus().connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                              SLOT(OnActionInvoked(uint, QString)));
  Bus().connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(OnClosed(uint, uint)));
}

void CDesktopNotifier::Notify(const harvion::ChangeNotice& notice) {
  if (!notice.Any() || !Bus().isConnected()) return;
  Listen();
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  const QStringList actions{QStringLiteral("default"), tr("Open the report")};
  call << QStringLiteral("Harvion") << 0u << QStringLiteral("harvion") << EngineText(notice.Summary().c_str())
       << QString::fromStdString(notice.Body()) << actions << QVariantMap() << -1;
  const QString report = EngineText(notice.report.c_str());
  // Asked without waiting: a server that does not answer holds nothing up.
  auto* watcher = new QDBusPendingCallWatcher(Bus().asyncCall(call, 5000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, report](QDBusPendingCallWatcher* finished) {
    const QDBusPendingReply<uint> reply = *finished;
    finished->deleteLater();
    if (reply.isError()) return;
    m_reports.insert(reply.value(), report);
    emit shown(reply.value());
  });
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& action) {
  const auto found = m_reports.constFind(id);
  if (found == m_reports.cend() || action != QLatin1String("default")) return;
  if (m_open) m_open(QUrl::fromLocalFile(found.value()));
}

void CDesktopNotifier::OnClosed(uint id, uint) { m_reports.remove(id); }

}  // namespace hvui

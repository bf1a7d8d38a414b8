#include "engine/settings/dialogs/program_proxy.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "engine/settings/dialogs/engine_values.h"

namespace hvdlg {

CProgramProxy::CProgramProxy(QWidget* parent)
    : CSheetPage(parent), m_use(new QCheckBox(this)), m_server(new QLineEdit(this)), m_port(new QSpinBox(this)) {
  // A host name: no spaces, slashes or control characters, shorter than 260 bytes.
  m_server->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\s/\\x00-\\x1f\\x7f]{0,259}")), this));
  m_port->setRange(0, 65535);
  m_use->setText(tr("&Use proxy"));
  Tag(m_use, kIdUseProxy, m_use->text());
  auto* form = new QFormLayout;
  AddRow(form, tr("&IP Address:"), m_server, kIdProxyServer);
  AddRow(form, tr("&Port:"), m_port, kIdProxyPort);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_use);
  layout->addLayout(form);
  layout->addStretch();
}

QString CProgramProxy::Title() const { return tr("Proxy"); }

void CProgramProxy::Activate() {
  m_read = {EngineValue("proxy-server"), EngineValue("proxy-port").toInt(), EngineSwitch("use-proxy")};
  m_server->setText(m_read.server);
  m_port->setValue(m_read.port);
  m_use->setChecked(m_read.use);
}

CProgramProxy::Values CProgramProxy::Shown() const {
  return {m_server->text().trimmed(), m_port->value(), m_use->isChecked()};
}

bool CProgramProxy::Store() {
  const Values now = Shown();
  bool stored = true;
  if (now.server != m_read.server) stored = ChangeEngineValue("proxy-server", now.server) && stored;
  if (now.port != m_read.port) stored = ChangeEngineValue("proxy-port", QString::number(now.port)) && stored;
  if (now.use != m_read.use) stored = ChangeEngineValue("use-proxy", now.use ? "on" : "off") && stored;
  if (stored) m_read = now;
  return stored;
}

}  // namespace hvdlg

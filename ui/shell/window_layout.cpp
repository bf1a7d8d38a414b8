#include "shell/window_layout.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace hvui {

WindowLayout LoadWindowLayout(const QString& path) {
  if (QFileInfo(path).isSymLink()) return {};
  const QSettings file(path, QSettings::IniFormat);
  return {file.value("window/geometry").toByteArray(), file.value("window/state").toByteArray()};
}

void SaveWindowLayout(const QString& path, const WindowLayout& layout) {
  // Removing a link removes the link, never what it names.
  if (QFileInfo(path).isSymLink() && !QFile::remove(path)) return;
  QSettings file(path, QSettings::IniFormat);
  file.setValue("window/geometry", layout.geometry);
  file.setValue("window/state", layout.state);
}

}  // namespace hvui

// The agent window's size and docking as the user left them, kept in
// hvmain.ini in the Harvion folder. A link in the file's place is never
// written through, nor read: it could name any file of the user's.
#pragma once

#include <QByteArray>
#include <QString>

namespace hvui {

struct WindowLayout {
  QByteArray geometry;
  QByteArray state;
};

// Empty values when there is no such file, or a link stands in its place.
WindowLayout LoadWindowLayout(const QString& path);
// Replaces a link in the file's place by a file of its own.
void SaveWindowLayout(const QString& path, const WindowLayout& layout);

}  // namespace hvui

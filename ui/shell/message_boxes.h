// Message boxes: the program's own (caption "Harvion/3.01 Plugin") and the
// engine's messages, which arrive through its message sink from any thread.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

#include "harvion/exports.h"

namespace hvui {

// The caption of the program's own boxes.
QString PluginCaption();

// Answers boxes instead of showing them (tests); an empty function shows real
// boxes again. Set and called on the Qt thread.
using MessageBoxAnswerer = std::function<QMessageBox::StandardButton(const QString& caption, const QString& text)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

// A modal box owned by `owner` (may be null); returns the button chosen.
// Qt thread only.
QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::Icon icon = QMessageBox::NoIcon);

// Makes the engine's messages (DisplayError) a beep and a warning box with the
// engine's caption, shown on the Qt thread; a message from another thread is
// handed over without waiting for the box to be answered. `ownerOf` maps the engine's owner handle to a widget;
// without it the active window owns the box. Returns the sink it replaced,
// which still takes messages when there is no application object.
using OwnerResolver = std::function<QWidget*(HWND owner)>;
MessageSink InstallMessageBoxSink(OwnerResolver ownerOf = {});

}  // namespace hvui

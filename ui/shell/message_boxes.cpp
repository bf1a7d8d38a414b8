#include "shell/message_boxes.h"

#include "shell/ui_texts.h"

#include <QApplication>
#include <QStringDecoder>
#include <QThread>

#include <utility>

namespace hvui {

namespace {

MessageBoxAnswerer& Answerer() {
  static MessageBoxAnswerer answerer;
  return answerer;
}

// Engine texts are bytes: UTF-8 when they decode as such, Latin-1 otherwise.
QString FromEngineText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (utf8.hasError()) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return text;
}

void ShowEngineMessage(const std::string& text, const std::string& caption, HWND owner,
                       const OwnerResolver& ownerOf) {
  QWidget* parent = ownerOf ? ownerOf(owner) : QApplication::activeWindow();
  QApplication::beep();
  ShowMessage(parent, FromEngineText(caption), FromEngineText(text), QMessageBox::Ok, QMessageBox::Warning);
}

}  // namespace

QString PluginCaption() { return QString::fromLatin1(texts::kCaption); }

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) { Answerer() = std::move(answerer); }

QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
  if (Answerer()) return Answerer()(caption, text);
  QMessageBox box(icon, caption, text, buttons, owner);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

MessageSink InstallMessageBoxSink(OwnerResolver ownerOf) {
  // The sink in place keeps messages that arrive with no application object;
  // taking it out first (the engine's default meanwhile) lets the new sink
  // hold it by value.
  MessageSink previous = SetMessageSink(nullptr);
  SetMessageSink([ownerOf = std::move(ownerOf), previous](const std::string& text, const std::string& caption,
                                                          HWND owner) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app) || QCoreApplication::closingDown()) {
      previous(text, caption, owner);
      return;
    }
    if (QThread::currentThread() == app->thread()) {
      // Queuing to ourselves and waiting would never return.
      ShowEngineMessage(text, caption, owner, ownerOf);
      return;
    }
    // From an engine thread the box is shown without waiting for it: that
    // thread may hold the engine's lock, which the Qt thread may be about
    // to take, and the message only informs.
    QMetaObject::invokeMethod(
        app, [text, caption, owner, ownerOf] { ShowEngineMessage(text, caption, owner, ownerOf); },
        Qt::QueuedConnection);
  });
  return previous;
}

}  // namespace hvui

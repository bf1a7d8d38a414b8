// Checks that every control of a window can be found and reached: a control
// id as its object name, an accessible name, no two mnemonics alike where
// one page shows, and a tab order that reads top to bottom.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <map>
#include <vector>

namespace hvuitest {

inline bool IsControl(const QWidget* w) {
  return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
         qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w) ||
         qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

inline QChar Mnemonic(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return text[i + 1].toLower();
    ++i;
  }
  return QChar();
}

// The letters reachable while `scope` shows: its own, and the window's
// outside every page.
inline void CheckPage(const QWidget* window, const QWidget* scope) {
  std::map<QChar, QString> letters;
  const QTabWidget* tabs = window->findChild<QTabWidget*>();
  for (const QWidget* w : window->findChildren<QWidget*>()) {
    const bool onAnotherPage = tabs && tabs->isAncestorOf(w) && !scope->isAncestorOf(w);
    if (onAnotherPage) continue;
    if (IsControl(w) && !w->objectName().startsWith("qt_") && !w->inherits("QTabBar")) {
      EXPECT_TRUE(w->objectName().startsWith("id_")) << w->metaObject()->className() << " " << w->accessibleName().toStdString();
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
      if (w->focusPolicy() == Qt::NoFocus) ADD_FAILURE() << w->objectName().toStdString() << " takes no focus";
    }
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(w); label && label->buddy()) text = label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) text = button->text();
    const QChar letter = Mnemonic(text);
    if (letter.isNull()) continue;
    const auto [at, fresh] = letters.emplace(letter, text);
    EXPECT_TRUE(fresh) << "'" << QString(letter).toStdString() << "' in " << at->second.toStdString() << " and "
                       << text.toStdString();
  }
}

// Tab reaches the shown controls of scope (the whole window when null) as
// they are read: top to bottom, and left to right within a row. Returns how
// many it reaches.
inline std::size_t CheckTabOrder(QWidget* window, const QWidget* scope = nullptr) {
  window->show();
  std::vector<QWidget*> chain;
  for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
    if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus) && !w->objectName().startsWith("qt_") &&
        !w->inherits("QTabBar") && (!scope || scope->isAncestorOf(w)))
      chain.push_back(w);
  }
  for (std::size_t i = 1; i < chain.size(); ++i) {
    const QRect a(chain[i - 1]->mapTo(window, QPoint()), chain[i - 1]->size());
    const QRect b(chain[i]->mapTo(window, QPoint()), chain[i]->size());
    const bool sameRow = a.top() < b.bottom() && b.top() < a.bottom();
    EXPECT_TRUE(sameRow ? b.left() > a.left() : b.top() > a.top())
        << chain[i - 1]->objectName().toStdString() << " before " << chain[i]->objectName().toStdString();
  }
  window->hide();
  return chain.size();
}

}  // namespace hvuitest

#pragma once
// Input for the offscreen tests that a user would give: a click at a point of
// a pane, with modifiers, and keys typed into the focused widget.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "framework/LPane.h"
#include "platform/qt/QtWindows.h"

// A press and release at a point of the pane, with modifiers, as the window gets them.
inline void ClickIn(LPane* pane, LPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    MWindow* win = AsMWindow(pane->GetNativeWindow());
    ASSERT_NE(win, nullptr);
    const u64 tl = pane->GetTopLeftIn(nullptr);
    const QPointF local(i32(LPane::UnpackX(tl)) + at.x, i32(LPane::UnpackY(tl)) + at.y);
    QWidget* view = win->View();
    const QPointF global = view->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      mods);
    QCoreApplication::sendEvent(view, &press);
    // A hand is slower than the list's own turn after the press.
    RunUntil([] { return false; }, 30);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        mods);
    QCoreApplication::sendEvent(view, &release);
    RunUntil([] { return false; }, 30);
}

// Typed into the focused widget, one key a character, then the key that ends it.
inline void Type(const char* text, int end = Qt::Key_Return) {
    for (const char* p = text; *p; ++p) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr) << "lost the focus before " << p;
        QKeyEvent down(QEvent::KeyPress, Qt::Key_A + (*p | 0x20) - 'a', Qt::NoModifier,
                       QString(QChar(*p)));
        QCoreApplication::sendEvent(w, &down);
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_A + (*p | 0x20) - 'a', Qt::NoModifier,
                     QString(QChar(*p)));
        QCoreApplication::sendEvent(w, &up);
        RunUntil([] { return false; }, 5);
    }
    if (QWidget* w = QApplication::focusWidget()) {
        QKeyEvent down(QEvent::KeyPress, end, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &down);
    }
    RunUntil([] { return false; }, 30);
}

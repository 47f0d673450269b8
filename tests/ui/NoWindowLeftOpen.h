#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace selvo::ui {

// Every widget test ends with no top-level window left open (a failure names the window's class).
inline void VerifyNoWindowLeftOpen()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        QVERIFY2(!w->isVisible(), qPrintable(w->metaObject()->className()));
    }
}

} // namespace selvo::ui

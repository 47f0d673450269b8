#pragma once

#include <string>

#include <QApplication>

namespace selvo::ui {

// The failure's own text as the general error report shows it: a full stop is added unless the
// text already ends in a character at or below '.' (so "...!" and "..." stay as they are).
std::string ErrorReportText(std::string text);

// The program's title: the executable's file name up to its first dot, every letter after the
// first in lower case (DESKTOOL.V2.EXE gives Desktool). It captions every short message box.
QString ApplicationTitle(const QString& executableFileName);

// Shows the general error report: the title, an error icon, OK and the failure's text. UI thread only.
void ShowErrorReport(const std::string& failureText);

// A plain message: the title as caption, no icon, one OK button that Enter and Esc press,
// centred on the screen. Returns when the operator has closed it. UI thread only.
void ShowPlainMessage(const std::string& text);

// The application object. A failure that escapes an event handler is caught here, at the edge of
// Qt's event dispatch, shown in the general error report, and the program goes on.
class SelvoApplication final : public QApplication
{
public:
    SelvoApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace selvo::ui

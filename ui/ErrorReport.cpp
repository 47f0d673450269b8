#include "ErrorReport.h"

#include <exception>

#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

#include "AnsiText.h"

namespace selvo::ui {

std::string ErrorReportText(std::string text)
{
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text.push_back('.');
    }
    return text;
}

QString ApplicationTitle(const QString& executableFileName)
{
    QString name = executableFileName.section(QLatin1Char('.'), 0, 0);
    return name.left(1) + name.mid(1).toLower();
}

namespace {

void ShowBox(QMessageBox::Icon icon, const std::string& text)
{
    QMessageBox box(icon, QApplication::applicationName(), FromAnsi(text), QMessageBox::Ok);
    // Enter and Esc both press the one button.
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setIcon(QIcon()); // some styles decorate standard buttons; ours are plain
    box.exec();
}

} // namespace

void ShowErrorReport(const std::string& failureText)
{
    ShowBox(QMessageBox::Critical, ErrorReportText(failureText));
}

void ShowPlainMessage(const std::string& text)
{
    ShowBox(QMessageBox::NoIcon, text);
}

SelvoApplication::SelvoApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(ApplicationTitle(QFileInfo(applicationFilePath()).fileName()));
}

bool SelvoApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        ShowErrorReport(failure.what());
    } catch (...) {
        ShowErrorReport("Unknown error");
    }
    return false;
}

} // namespace selvo::ui

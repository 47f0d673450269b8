#pragma once

#include <functional>
#include <memory>
#include <source_location>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "TavrinReserveGuestDM.h"
#include "TestServer.h"

namespace selvo::ui::test {

// Answers every modal message box with Enter and records its text, until it goes.
class MessageBoxAnswerer final : public QObject
{
public:
    MessageBoxAnswerer()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible()) {
                Texts.push_back(box->text());
                Icons.push_back(box->icon());
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        m_poll.start(5);
    }

    QStringList Texts;
    std::vector<QMessageBox::Icon> Icons;

private:
    QTimer m_poll;
};

// The data module on a fresh test database, with both card lists' texts set (opened by the test).
class DialogDesk final
{
public:
    DialogDesk()
    {
        Db.Configure(Dm.ZConnection);
        Dm.SpareCardZQ.SetSQL(std::string(data::SpareCardListSql));
        Dm.GuestCardZQ.SetSQL(std::string(data::GuestCardListSql));
    }

    std::string Value(const std::string& sql) { return Db.Scalar(sql).value_or(""); }

    selvo::test::TestDatabase Db;
    data::TTavrinReserveGuestDM Dm;
};

// A script that answers a dialog, and whether it ran. A test whose script never ran (its dialog never
// came, or never became the active window) has not tested what it says: VerifyEveryDialogScriptRan,
// in every test's cleanup, fails it with the reason.
struct DialogScript
{
    std::string Where;
    bool SeenModal = false;
    bool Ran = false;
};

inline std::vector<std::shared_ptr<DialogScript>>& DialogScripts()
{
    static std::vector<std::shared_ptr<DialogScript>> scripts;
    return scripts;
}

inline std::shared_ptr<DialogScript> NewDialogScript(const std::source_location& where)
{
    auto script = std::make_shared<DialogScript>();
    script->Where = std::string(where.file_name()) + ":" + std::to_string(where.line());
    DialogScripts().push_back(script);
    return script;
}

inline void VerifyEveryDialogScriptRan()
{
    const auto scripts = std::exchange(DialogScripts(), {});
    for (const auto& script : scripts) {
        const std::string why =
            script->SeenModal ? "its dialog was modal but never the active window" : "its dialog never ran modal";
        QVERIFY2(script->Ran,
                 qPrintable(QString::fromStdString("the dialog script of " + script->Where + " never ran: " + why)));
    }
}

// Runs `script` once the dialog's modal loop is running (and the dialog is the active modal window),
// with a safety timeout that rejects a dialog the script left open (or never reached).
template <typename Dialog>
void WhileModal(Dialog& dialog, std::function<void()> script,
                const std::source_location& where = std::source_location::current())
{
    auto state = NewDialogScript(where);
    auto* poll = new QTimer(&dialog); // goes with the dialog
    QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, poll, script, state] {
        if (QApplication::activeModalWidget() == &dialog) {
            state->SeenModal = true;
        }
        if (QApplication::activeModalWidget() != &dialog || QApplication::activeWindow() != &dialog) {
            return;
        }
        poll->stop();
        state->Ran = true;
        script();
    });
    poll->start(5);
    QTimer::singleShot(20000, &dialog, [&dialog] { dialog.done(QDialog::Rejected); });
}

inline void WaitForFocus()
{
    if (!QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 2000)) {
        qFatal("no control has the keyboard focus");
    }
}

// Gives the control the keyboard focus, as a click or Tab would, once its window is active again
// (after a message box, for instance).
inline void FocusOn(QWidget* control)
{
    if (QApplication::activeWindow() != control->window()) {
        control->window()->activateWindow(); // the platform need not give it back after a box
    }
    if (!QTest::qWaitFor([control] { return QApplication::activeWindow() == control->window(); }, 2000)) {
        qWarning("the window of %s did not become active", qPrintable(control->objectName()));
    }
    control->setFocus(Qt::OtherFocusReason);
    if (!QTest::qWaitFor([control] { return control->hasFocus(); }, 2000)) {
        qWarning("%s did not take the focus", qPrintable(control->objectName()));
    }
}

// Sends the text to whatever has the keyboard focus, one key at a time (an item editor opened by the
// first key gets the rest). Letters outside Latin-1 go as key events carrying their text.
inline void TypeIntoFocus(const QString& text)
{
    for (const QChar c : text) {
        WaitForFocus();
        QWidget* focus = QApplication::focusWidget();
        const int key = c.unicode() < 128 ? QChar(c).toUpper().unicode() : int(Qt::Key_unknown);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(focus, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(QApplication::focusWidget(), &release);
    }
}

inline void PressIntoFocus(Qt::Key key)
{
    WaitForFocus();
    QTest::keyClick(QApplication::focusWidget(), key);
}

} // namespace selvo::ui::test

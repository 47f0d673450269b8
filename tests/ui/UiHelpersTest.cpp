#include <iconv.h>

#include <QListWidget>
#include <QMessageBox>
#include <QPointingDevice>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "NoWindowLeftOpen.h"
#include "AnsiText.h"
#include "ApplicationEvents.h"
#include "ErrorReport.h"

using namespace selvo::ui;

namespace {

// Presses OK on the message box that is about to open, and remembers what it showed.
struct BoxAnswer
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool plainButton = false;
    bool seen = false;
};

void AnswerNextBox(BoxAnswer& answer)
{
    QTimer::singleShot(0, [&answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            AnswerNextBox(answer); // not open yet
            return;
        }
        answer.seen = true;
        answer.title = box->windowTitle();
        answer.text = box->text();
        answer.icon = box->icon();
        answer.buttons = static_cast<int>(box->buttons().size());
        answer.plainButton = box->button(QMessageBox::Ok) != nullptr && box->button(QMessageBox::Ok)->icon().isNull();
        QTest::keyClick(box, Qt::Key_Escape);
    });
}

class Thrower final : public QObject
{
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            throw std::runtime_error("SQL Error: Table 'vardeno.employeecard' doesn't exist");
        }
        return QObject::event(e);
    }
};

} // namespace

class UiHelpersTest final : public QObject
{
    Q_OBJECT

private slots:
    // Every assigned byte of Windows-1250 maps as the C library's own converter maps it, and back.
    void AnsiTextAgreesWithIconvOnEveryByte()
    {
        iconv_t cd = iconv_open("UTF-16LE", "CP1250");
        QVERIFY(cd != reinterpret_cast<iconv_t>(-1));
        int assigned = 0;
        for (int b = 1; b < 256; ++b) {
            char in = static_cast<char>(b);
            char16_t out = 0;
            char* inp = &in;
            size_t inLeft = 1;
            char* outp = reinterpret_cast<char*>(&out);
            size_t outLeft = sizeof out;
            std::string bytes(1, in);
            QString mine = FromAnsi(bytes);
            QCOMPARE(mine.size(), 1);
            if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) {
                // Unassigned in the code page: the C1 control of the same number.
                QCOMPARE(mine.at(0).unicode(), char16_t(b));
            } else {
                ++assigned;
                QCOMPARE(mine.at(0).unicode(), out);
            }
            QCOMPARE(ToAnsi(mine), bytes);
        }
        iconv_close(cd);
        QVERIFY(assigned >= 250);
    }

    void AnsiTextCarriesSerbianLettersAndMarksTheRest()
    {
        QString name = QString::fromUtf8("Đorđević Šćepan čŽ");
        std::string bytes = ToAnsi(name);
        QCOMPARE(QByteArray::fromStdString(bytes), QByteArray("\xD0or\xF0"
                                                              "evi\xE6 \x8A\xE6"
                                                              "epan \xE8\x8E"));
        QCOMPARE(FromAnsi(bytes), name);
        QCOMPARE(QByteArray::fromStdString(ToAnsi(QString::fromUtf8("a€b😀c中"))), QByteArray("a\x80"
                                                                                             "b?c?"));
    }

    void ErrorReportTextAddsAFullStopOnlyAfterALaterCharacter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Can not connect to SQL server"
                                << "Can not connect to SQL server.";
        QTest::newRow("full stop") << "Range check error."
                                   << "Range check error.";
        QTest::newRow("exclamation") << "Greska!"
                                     << "Greska!";
        QTest::newRow("letter after quotes") << "Field 'ename' not found"
                                             << "Field 'ename' not found.";
        QTest::newRow("closing quote") << "Invalid data type for 'InstallLocation'"
                                       << "Invalid data type for 'InstallLocation'";
        QTest::newRow("closing bracket") << "Access denied (using password: YES)"
                                         << "Access denied (using password: YES)";
        QTest::newRow("digit") << "error 2003"
                               << "error 2003.";
        QTest::newRow("blank") << "text "
                               << "text ";
        QTest::newRow("empty") << ""
                               << "";
    }
    void ErrorReportTextAddsAFullStopOnlyAfterALaterCharacter()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(ErrorReportText(text.toStdString())), shown);
    }

    void ErrorReportTextTreatsHighBytesAsLetters() { QCOMPARE(ErrorReportText("ure\xF0"), std::string("ure\xF0.")); }

    void ApplicationTitleStopsAtTheFirstDotAndLowersTheRest_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::newRow("two dots") << "DESKTOOL.V2.EXE"
                                  << "Desktool";
        QTest::newRow("plain") << "Selvo"
                               << "Selvo";
        QTest::newRow("lower first") << "selvo.exe"
                                     << "selvo";
        QTest::newRow("mixed") << "TavrinSelvo"
                               << "Tavrinselvo";
        QTest::newRow("leading dot") << ".hidden"
                                     << "";
    }
    void ApplicationTitleStopsAtTheFirstDotAndLowersTheRest()
    {
        QFETCH(QString, file);
        QFETCH(QString, title);
        QCOMPARE(ApplicationTitle(file), title);
    }

    // The wheel walks a list one row a notch, whatever the notch's size, and stops at the ends.
    void WheelBecomesOneArrowKeyForTheFocusedControl()
    {
        ApplicationEvents hook;
        hook.Install();
        QListWidget list;
        list.addItems({"a", "b", "c"});
        list.setCurrentRow(0);
        list.show();
        list.activateWindow();
        list.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&list));

        auto turn = [&list](QPoint delta) {
            QPointF at(5, 5);
            QWheelEvent wheel(at, list.mapToGlobal(at), QPoint(), delta, Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(list.viewport(), &wheel);
        };
        turn(QPoint(0, -120)); // towards the operator
        QCOMPARE(list.currentRow(), 1);
        turn(QPoint(0, -480)); // a fast turn is still one row
        QCOMPARE(list.currentRow(), 2);
        turn(QPoint(0, -120)); // at the last row nothing happens
        QCOMPARE(list.currentRow(), 2);
        QCOMPARE(list.count(), 3);
        turn(QPoint(0, 120));
        QCOMPARE(list.currentRow(), 1);
        turn(QPoint(0, 0)); // no rotation reads as Down
        QCOMPARE(list.currentRow(), 2);
        turn(QPoint(120, 0)); // a sideways tilt is left alone
        QCOMPARE(list.currentRow(), 2);
    }

    // A failure escaping an event handler reaches the general error report and the loop goes on.
    void EscapedFailureIsReportedWithTitleIconAndFullStop()
    {
        Thrower thrower;
        BoxAnswer answer;
        AnswerNextBox(answer);
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QTRY_VERIFY_WITH_TIMEOUT(answer.seen, 5000);
        QCOMPARE(answer.title, QApplication::applicationName());
        QCOMPARE(answer.icon, QMessageBox::Critical);
        QCOMPARE(answer.text, QString("SQL Error: Table 'vardeno.employeecard' doesn't exist."));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void PlainMessageHasNoIconAndOneButton()
    {
        BoxAnswer answer;
        AnswerNextBox(answer);
        ShowPlainMessage("Kartica je uspe\x9Ana dodata!");
        QVERIFY(answer.seen);
        QCOMPARE(answer.icon, QMessageBox::NoIcon);
        QCOMPARE(answer.buttons, 1);
        QVERIFY(answer.plainButton);
        QCOMPARE(answer.text, QString::fromUtf8("Kartica je uspešna dodata!"));
        QCOMPARE(answer.title, QApplication::applicationName());
    }

    // A touchpad's scroll gesture is framed by events that turn nothing; they move no row, while the
    // gesture's turns and a wheel's own event with a rotation of 0 each move one row.
    void OnlyWheelTurnsMoveTheRow_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<bool>("fromTouchpad");
        QTest::addColumn<int>("rowAfter"); // from row 1 of 0..2
        QTest::newRow("gesture begins") << int(Qt::ScrollBegin) << QPoint(0, 0) << true << 1;
        QTest::newRow("gesture ends") << int(Qt::ScrollEnd) << QPoint(0, 0) << true << 1;
        QTest::newRow("momentum without a turn") << int(Qt::ScrollMomentum) << QPoint(0, 0) << true << 1;
        QTest::newRow("begin from the core pointer") << int(Qt::ScrollBegin) << QPoint(0, 0) << false << 1;
        QTest::newRow("touchpad without a phase or a turn") << int(Qt::NoScrollPhase) << QPoint(0, 0) << true << 1;
        QTest::newRow("gesture turns up") << int(Qt::ScrollUpdate) << QPoint(0, 15) << true << 0;
        QTest::newRow("gesture turns down") << int(Qt::ScrollUpdate) << QPoint(0, -15) << true << 2;
        QTest::newRow("wheel without rotation") << int(Qt::NoScrollPhase) << QPoint(0, 0) << false << 2;
        QTest::newRow("wheel notch up") << int(Qt::NoScrollPhase) << QPoint(0, 120) << false << 0;
    }
    void OnlyWheelTurnsMoveTheRow()
    {
        QFETCH(int, phase);
        QFETCH(QPoint, delta);
        QFETCH(bool, fromTouchpad);
        QFETCH(int, rowAfter);
        ApplicationEvents hook;
        hook.Install();
        QListWidget list;
        list.addItems({"a", "b", "c"});
        list.setCurrentRow(1);
        list.show();
        list.activateWindow();
        list.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&list));

        const QPointingDevice touchpad(QStringLiteral("touchpad"), 7, QInputDevice::DeviceType::TouchPad,
                                       QPointingDevice::PointerType::Finger, QInputDevice::Capability::Scroll, 2, 0);
        const QPointF at(5, 5);
        QWheelEvent wheel(at, list.mapToGlobal(at), QPoint(), delta, Qt::NoButton, Qt::NoModifier,
                          Qt::ScrollPhase(phase), false, Qt::MouseEventNotSynthesized,
                          fromTouchpad ? &touchpad : QPointingDevice::primaryPointingDevice());
        QApplication::sendEvent(list.viewport(), &wheel);
        QCOMPARE(list.currentRow(), rowAfter);
        QCOMPARE(list.count(), 3);
    }

    void cleanup() { selvo::ui::VerifyNoWindowLeftOpen(); }
};

int main(int argc, char** argv)
{
    SelvoApplication app(argc, argv);
    UiHelpersTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "UiHelpersTest.moc"

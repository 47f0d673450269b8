// The guest registration dialog driven as the porter drives it, on a test database.
#include "NoWindowLeftOpen.h"
#include "GuestForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "AnsiText.h"
#include "Clock.h"
#include "DialogTestSupport.h"

using namespace selvo;
using namespace selvo::ui;
using namespace selvo::ui::test;

namespace {

class SetClock final : public workflows::Clock
{
public:
    data::DateTime Now() const override { return Time; }
    data::DateTime Time{2026, 3, 5, 14, 7, 9};
};

template <typename T> T* Child(QWidget& form, const char* name)
{
    T* child = form.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no control %s", name);
    }
    return child;
}

const QString MissingFields = QString::fromUtf8("Niste uneli polja ozna\u010dena *!");

} // namespace

class GuestFormTest final : public QObject
{
    Q_OBJECT

private slots:
    // As the visit start prepares it: a guest card selected, an empty visit row appended.
    void init()
    {
        m_desk = std::make_unique<DialogDesk>();
        m_desk->Db.Exec("INSERT INTO employeecard (cardcode, name, active, comment) VALUES (700,'G1','Y','GOST')");
        m_desk->Dm.GuestCardZQ.Open();
        m_desk->Dm.GuestZQ.Open();
        m_desk->Dm.GuestZQ.Append();
    }

    void cleanup()
    {
        m_desk.reset();
        VerifyEveryDialogScriptRan();
        selvo::ui::VerifyNoWindowLeftOpen();
    }

    // Porters find their way in the dialog by sight and by its keys: every control keeps its place,
    // caption and length limit, and Tab walks them in the same order.
    void ControlsKeepTheirPlacesCaptionsAndTabOrder()
    {
        TGuestForm form(m_desk->Dm);
        QCOMPARE(form.windowTitle(), QStringLiteral("Gost"));
        QCOMPARE(form.size(), QSize(336, 413));
        const struct
        {
            const char* Edit;
            const char* Label;
            QString Caption;
            int Top;
            int MaxLength;
        } edits[] = {
            {"lnameDBE", "Label2", QStringLiteral("Prezime*:"), 24, 30},
            {"fnameDBE", "Label1", QStringLiteral("Ime*:"), 72, 20},
            {"personalDBE", "Label3", QStringLiteral("JMBG*:"), 120, 20},
            {"regcodeDBE", "Label4", QString::fromUtf8("Broj li\u010dne karte:"), 168, 20},
        };
        for (const auto& expected : edits) {
            auto* edit = Child<QLineEdit>(form, expected.Edit);
            QCOMPARE(edit->geometry(), QRect(8, expected.Top, 200, 24));
            QCOMPARE(edit->maxLength(), expected.MaxLength);
            auto* label = Child<QLabel>(form, expected.Label);
            QCOMPARE(label->text(), expected.Caption);
            QCOMPARE(label->pos(), QPoint(8, expected.Top - 16));
        }
        QCOMPARE(Child<QLabel>(form, "Label5")->text(), QStringLiteral("Opis:"));
        QCOMPARE(Child<QPlainTextEdit>(form, "descDBM")->geometry(), QRect(8, 216, 320, 121));
        auto* ok = Child<QPushButton>(form, "OkButton");
        QVERIFY(ok->isDefault());
        QCOMPARE(ok->text(), QStringLiteral("&U redu"));
        QCOMPARE(ok->geometry(), QRect(132, 356, 95, 48));
        QCOMPARE(Child<QPushButton>(form, "CancelButton")->text(), QString::fromUtf8("&Otka\u017ei"));
        QCOMPARE(Child<QPushButton>(form, "CancelButton")->geometry(), QRect(232, 356, 95, 48));

        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 7; ++i) {
            PressIntoFocus(Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, (QStringList{"lnameDBE", "fnameDBE", "personalDBE", "regcodeDBE", "descDBM", "CancelButton",
                                     "OkButton", "lnameDBE"}));
        form.reject();
    }

    // Names typed, the identity card number only, a two-line description; Enter in an edit accepts.
    void TypingAndEnterAcceptAndWriteTheVisit()
    {
        SetClock clock;
        TGuestForm form(m_desk->Dm, clock);
        MessageBoxAnswerer boxes;
        WhileModal(form, [&] {
            TypeIntoFocus(QString::fromUtf8("\u0110or\u0111evi\u0107")); // Windows-1250 letters
            PressIntoFocus(Qt::Key_Tab);
            TypeIntoFocus(QString(25, QLatin1Char('F'))); // the edit keeps 20
            QCOMPARE(Child<QLineEdit>(form, "fnameDBE")->text(), QString(20, QLatin1Char('F')));
            QTest::mouseClick(Child<QPushButton>(form, "OkButton"), Qt::LeftButton);
            QVERIFY2(form.isVisible(), "no number yet");
            QCOMPARE(boxes.Texts, QStringList{MissingFields});

            FocusOn(Child<QPlainTextEdit>(form, "descDBM"));
            TypeIntoFocus(QStringLiteral("prvi"));
            PressIntoFocus(Qt::Key_Return); // a new line, not acceptance
            TypeIntoFocus(QStringLiteral("drugi"));
            QVERIFY(form.isVisible());

            FocusOn(Child<QLineEdit>(form, "regcodeDBE"));
            TypeIntoFocus(QStringLiteral("AB123"));
            clock.Time = {2026, 3, 5, 14, 9, 0}; // the porter took his time
            PressIntoFocus(Qt::Key_Return);
        });
        QCOMPARE(form.exec(), int(QDialog::Accepted));

        QVERIFY(m_desk->Dm.GuestAccepted);
        QCOMPARE(boxes.Texts.size(), 1);
        const auto rows = m_desk->Db.Query("SELECT lastname, firstname, personalidentificator, regcode, description, "
                                           "startdatetime, employeecardid FROM timerguest");
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(rows[0][0], std::optional<std::string>("\xd0or\xf0\x65vi\xe6"));
        QCOMPARE(rows[0][1], std::optional<std::string>(std::string(20, 'F')));
        QVERIFY(!rows[0][2].has_value());
        QCOMPARE(rows[0][3], std::optional<std::string>("AB123"));
        QCOMPARE(rows[0][4], std::optional<std::string>("prvi\r\ndrugi"));
        QCOMPARE(rows[0][5], std::optional<std::string>("2026-03-05 14:09:00"));
        QCOMPARE(rows[0][6],
                 std::optional<std::string>(std::to_string(m_desk->Dm.GuestCardZQemployeecardid.AsInteger())));
    }

    // Both names empty: the message once, nothing written, the dialog still open.
    void MissingNamesShowTheMessageOnce()
    {
        TGuestForm form(m_desk->Dm);
        MessageBoxAnswerer boxes;
        bool open = false;
        WhileModal(form, [&] {
            FocusOn(Child<QLineEdit>(form, "personalDBE"));
            TypeIntoFocus(QStringLiteral("0101990"));
            PressIntoFocus(Qt::Key_Return);
            open = form.isVisible();
            form.reject();
        });
        form.exec();
        QVERIFY(open);
        QCOMPARE(boxes.Texts, QStringList{MissingFields});
        QCOMPARE(boxes.Icons[0], QMessageBox::NoIcon);
        QCOMPARE(m_desk->Value("SELECT COUNT(*) FROM timerguest"), std::string("0"));
    }

    // Esc after typing: the row is discarded; the next start's dialog is empty.
    void EscDiscardsWhatWasTyped()
    {
        {
            TGuestForm form(m_desk->Dm);
            WhileModal(form, [&] {
                TypeIntoFocus(QStringLiteral("Petrovic"));
                QCOMPARE(m_desk->Dm.GuestZQlastname.AsString(), std::string("Petrovic"));
                PressIntoFocus(Qt::Key_Escape);
            });
            QCOMPARE(form.exec(), int(QDialog::Rejected));
        }
        QVERIFY(!m_desk->Dm.GuestAccepted);
        QCOMPARE(m_desk->Dm.GuestZQ.State(), data::DataSetState::Browse);
        QVERIFY(m_desk->Dm.GuestZQ.IsEmpty());
        QCOMPARE(m_desk->Value("SELECT COUNT(*) FROM timerguest"), std::string("0"));

        m_desk->Dm.GuestZQ.Close();
        m_desk->Dm.GuestZQ.Open();
        m_desk->Dm.GuestZQ.Append();
        TGuestForm next(m_desk->Dm);
        QCOMPARE(Child<QLineEdit>(next, "lnameDBE")->text(), QString());
    }

    // A refused post: the general error report, the dialog open, the row still in insert mode, and
    // accepting again after the correction writes it.
    void ARefusedPostIsReportedAndCanBeAcceptedAgain()
    {
        m_desk->Db.Exec("ALTER TABLE timerguest MODIFY personalidentificator VARCHAR(20) NOT NULL");
        TGuestForm form(m_desk->Dm);
        MessageBoxAnswerer boxes;
        WhileModal(form, [&] {
            TypeIntoFocus(QStringLiteral("Petrovic"));
            PressIntoFocus(Qt::Key_Tab);
            TypeIntoFocus(QStringLiteral("Ana"));
            FocusOn(Child<QLineEdit>(form, "regcodeDBE"));
            TypeIntoFocus(QStringLiteral("AB1"));
            PressIntoFocus(Qt::Key_Return);
            QVERIFY(form.isVisible());
            QCOMPARE(m_desk->Dm.GuestZQ.State(), data::DataSetState::Insert);
            FocusOn(Child<QLineEdit>(form, "personalDBE"));
            TypeIntoFocus(QStringLiteral("0101"));
            PressIntoFocus(Qt::Key_Return);
        });
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QCOMPARE(boxes.Texts.size(), 1);
        QVERIFY2(boxes.Texts[0].startsWith(QStringLiteral("SQL Error: ")), qPrintable(boxes.Texts[0]));
        QCOMPARE(m_desk->Value("SELECT CONCAT(lastname, ' ', personalidentificator) FROM timerguest"),
                 std::string("Petrovic 0101"));
    }

private:
    std::unique_ptr<DialogDesk> m_desk;
};

QTEST_MAIN(GuestFormTest)
#include "GuestFormTest.moc"

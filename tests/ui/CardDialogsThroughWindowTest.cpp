// The two dialogs as the porter reaches them: from the main window's buttons, typed into, Enter, Esc,
// on a test database without all-access points (so no door is written and no pause is taken).
#include <filesystem>
#include <fstream>
#include <memory>

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "NoWindowLeftOpen.h"
#include "AnsiText.h"
#include "CardGrid.h"
#include "DialogTestSupport.h"
#include "FileRegistry.h"
#include "GetEmployeeForm.h"
#include "GuestForm.h"
#include "MainForm.h"
#include "WindowDesk.h"

using namespace selvo;
using namespace selvo::ui;
using namespace selvo::ui::test;

namespace {

// Two employees, a spare and a guest card, and a door that is not all-access.
void LoadDialogDesk(selvo::test::TestDatabase& db)
{
    db.Exec("INSERT INTO employee (lastname, firstname, personalidentificator, active) VALUES "
            "('Petrovic','Ana','0101','Y'),('Peric','Marko','0202','Y')");
    db.Exec("INSERT INTO employeecard (cardcode, name, active, comment) VALUES (500,'R1','Y','REZERVA'),"
            "(700,'G1','Y','GOST')");
    db.Exec("INSERT INTO timeraccesspoint (name, macaddress, localip, publicip, udpport, tcpport, "
            "currentdeviceindex, active, allaccess, readaccess, outdoor) VALUES "
            "('Vrata','00','198.18.0.2','0.0.0.0',4001,0,0,'Y','N','Y','N')");
}

// Runs the script once the dialog of that class is the active modal window; a dialog the script left
// open is rejected after a while, as long as the window lives.
template <typename Dialog>
void WhenOpen(QWidget& window, std::function<void(Dialog&)> script,
              const std::source_location& where = std::source_location::current())
{
    QTimer::singleShot(20000, &window, [] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
        }
    });
    auto state = NewDialogScript(where);
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, script, state] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr) {
            state->SeenModal = true;
        }
        if (dialog == nullptr || QApplication::activeWindow() != dialog) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        state->Ran = true;
        script(*dialog);
    });
    poll->start(5);
}

QString CardHolder(CardGrid& grid)
{
    return grid.model()->index(0, 1).data().toString();
}

} // namespace

class CardDialogsThroughWindowTest final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        VerifyEveryDialogScriptRan();
        selvo::ui::VerifyNoWindowLeftOpen();
    }

    // "Po&veži": the dialog opens on the selected card, Enter searches, a click picks, "&U redu" binds.
    void LendingThroughTheEmployeeDialog()
    {
        WindowDesk desk(LoadDialogDesk);
        MessageBoxAnswerer boxes;
        auto* spare = desk.Child<CardGrid>("SpareCardDBG");
        bool searched = false;
        WhenOpen<TGetEmployeeForm>(*desk.Form, [&](TGetEmployeeForm& dialog) {
            TypeIntoFocus(QStringLiteral("Peri"));
            PressIntoFocus(Qt::Key_Return);
            auto* grid = dialog.findChild<QTableView*>(QStringLiteral("mainDBG"));
            searched = grid->model()->rowCount() == 1;
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(0, 0)).center());
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("OkButton")), Qt::LeftButton);
        });
        QTest::mouseClick(desk.Child<QPushButton>("ConnectButton"), Qt::LeftButton);

        QVERIFY(searched);
        QCOMPARE(boxes.Texts, QStringList{QString::fromUtf8("Kartica je uspe\u0161no dodata!")});
        QCOMPARE(desk.Value("SELECT e.lastname FROM employeecard JOIN employee e USING (employeeid)"),
                 std::string("Peric"));
        QCOMPARE(CardHolder(*spare), QStringLiteral("Peric Marko"));
    }

    // "&Početak": typed into, Enter in the description adds a line, Enter in an edit accepts; then a
    // second start is cancelled with Esc and writes nothing.
    void StartingAVisitThroughTheGuestDialog()
    {
        WindowDesk desk(LoadDialogDesk);
        MessageBoxAnswerer boxes;
        auto* guests = desk.Child<CardGrid>("GuestCardDBG");
        WhenOpen<TGuestForm>(*desk.Form, [&](TGuestForm& dialog) {
            TypeIntoFocus(QStringLiteral("Jovic"));
            PressIntoFocus(Qt::Key_Tab);
            TypeIntoFocus(QStringLiteral("Zoran"));
            FocusOn(dialog.findChild<QWidget*>(QStringLiteral("descDBM")));
            TypeIntoFocus(QStringLiteral("a"));
            PressIntoFocus(Qt::Key_Return);
            TypeIntoFocus(QStringLiteral("b"));
            FocusOn(dialog.findChild<QLineEdit*>(QStringLiteral("regcodeDBE")));
            TypeIntoFocus(QStringLiteral("AB1"));
            PressIntoFocus(Qt::Key_Return);
        });
        QTest::mouseClick(desk.Child<QPushButton>("StartButton"), Qt::LeftButton);

        QCOMPARE(boxes.Texts, QStringList{QString::fromUtf8("Kartica je uspe\u0161no dodata!")});
        QCOMPARE(desk.Value("SELECT CONCAT(lastname, ' ', firstname, ' ', regcode, ' ', REPLACE(description, "
                            "'\\r\\n', '|')) FROM timerguest"),
                 std::string("Jovic Zoran AB1 a|b"));
        QCOMPARE(CardHolder(*guests), QStringLiteral("Jovic Zoran"));

        // The visit ends, a new start is typed into and cancelled.
        QTest::mouseClick(desk.Child<QPushButton>("StopButton"), Qt::LeftButton);
        QCOMPARE(CardHolder(*guests), QString());
        WhenOpen<TGuestForm>(*desk.Form, [](TGuestForm& dialog) {
            QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("lnameDBE"))->text(), QString());
            TypeIntoFocus(QStringLiteral("Novi"));
            PressIntoFocus(Qt::Key_Escape);
        });
        QTest::mouseClick(desk.Child<QPushButton>("StartButton"), Qt::LeftButton);
        QCOMPARE(desk.Value("SELECT COUNT(*) FROM timerguest"), std::string("1"));
        QCOMPARE(boxes.Texts.size(), 2); // added, removed; nothing for the cancelled start
    }
};

QTEST_MAIN(CardDialogsThroughWindowTest)
#include "CardDialogsThroughWindowTest.moc"

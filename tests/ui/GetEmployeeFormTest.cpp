// The employee search dialog driven as the porter drives it, on a test database.
#include "NoWindowLeftOpen.h"
#include "GetEmployeeForm.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QWheelEvent>

#include "AnsiText.h"
#include "ApplicationEvents.h"
#include "DialogTestSupport.h"
#include "ErrorReport.h"

using namespace selvo;
using namespace selvo::ui;
using namespace selvo::ui::test;

namespace {

void AddEmployees(DialogDesk& desk)
{
    desk.Db.Exec("INSERT INTO employee (lastname, firstname, personalidentificator, active) VALUES "
                 "('Petrovic','Ana','0101','Y'),('Peric','Marko','0202','Y'),('Jovic','Zoran','0303','Y'),"
                 "('Pasivni','Boris','0404','N')");
    desk.Db.Exec("INSERT INTO employeecard (cardcode, name, active, comment) VALUES (500,'R1','Y','REZERVA'),"
                 "(501,'R2','Y','REZERVA')");
}

QStringList Column(const QTableView& grid, int column)
{
    QStringList texts;
    for (int row = 0; row < grid.model()->rowCount(); ++row) {
        texts << grid.model()->index(row, column).data().toString();
    }
    return texts;
}

template <typename T> T* Child(QWidget& form, const char* name)
{
    T* child = form.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no control %s", name);
    }
    return child;
}

} // namespace

class GetEmployeeFormTest final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_desk = std::make_unique<DialogDesk>(); }

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
        TGetEmployeeForm form(m_desk->Dm);
        QCOMPARE(form.windowTitle(), QStringLiteral("Izaberite zaposlenog"));
        QCOMPARE(form.size(), QSize(736, 413));
        auto* vle = Child<QTableWidget>(form, "SearchVLE");
        QCOMPARE(vle->rowCount(), 4);
        QStringList keys;
        for (int row = 0; row < 4; ++row) {
            keys << vle->item(row, 0)->text();
            QVERIFY(!(vle->item(row, 0)->flags() & Qt::ItemIsEditable));
            QVERIFY(vle->item(row, 1)->flags() & Qt::ItemIsEditable);
            QCOMPARE(vle->item(row, 1)->text(), QString());
        }
        QCOMPARE(keys, (QStringList{"Prezime", "Ime", "Kod", "JMBG"}));
        QVERIFY(vle->horizontalHeader()->isHidden());
        QCOMPARE(vle->geometry(), QRect(1, 0, 283, 268));

        auto* find = Child<QPushButton>(form, "FindButton");
        QCOMPARE(find->text(), QString::fromUtf8("Prona\u0111i"));
        QVERIFY(find->isDefault());
        QCOMPARE(find->geometry(), QRect(95, 283, 95, 48));
        QCOMPARE(Child<QPushButton>(form, "OkButton")->text(), QStringLiteral("&U redu"));
        QCOMPARE(Child<QPushButton>(form, "cancelBTN")->text(), QString::fromUtf8("&Otka\u017ei"));
        QCOMPARE(Child<QPushButton>(form, "OkButton")->geometry(), QRect(524, 8, 95, 48));
        QCOMPARE(Child<QPushButton>(form, "cancelBTN")->geometry(), QRect(628, 8, 95, 48));

        auto* grid = Child<QTableView>(form, "mainDBG");
        QCOMPARE(grid->model()->rowCount(), 0); // no search yet since the program started
        QStringList titles;
        for (int column = 0; column < grid->model()->columnCount(); ++column) {
            titles << grid->model()->headerData(column, Qt::Horizontal).toString();
        }
        QCOMPARE(titles, (QStringList{"Prezime", "Ime", "JMBG"}));
        QCOMPARE(grid->columnWidth(0), 160);
        QCOMPARE(grid->columnWidth(1), 120);
        QCOMPARE(grid->columnWidth(2), 120);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(grid->horizontalHeader()->sectionsMovable());

        // Tab order, from the focus the dialog opens with.
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 5; ++i) {
            PressIntoFocus(Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, (QStringList{"SearchVLE", "FindButton", "mainDBG", "cancelBTN", "OkButton", "SearchVLE"}));
        form.reject();
    }

    // Type a value, Enter in the editor searches; pick the second row with the mouse; "&U redu" binds.
    void TypingEnterPickingAndConfirmingBindTheEmployee()
    {
        AddEmployees(*m_desk);
        m_desk->Dm.SpareCardZQ.Open();
        m_desk->Dm.SpareCardZQ.Next(); // the porter selected R2
        const int card = m_desk->Dm.SpareCardZQemployeecardid.AsInteger();

        TGetEmployeeForm form(m_desk->Dm);
        auto* grid = Child<QTableView>(form, "mainDBG");
        int result = -1;
        WhileModal(form, [&] {
            QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("SearchVLE"));
            QTest::mouseClick(Child<QPushButton>(form, "OkButton"), Qt::LeftButton);
            QVERIFY2(form.isVisible(), "\"&U redu\" before a search does nothing");

            FocusOn(Child<QTableWidget>(form, "SearchVLE"));
            TypeIntoFocus(QStringLiteral("Pe")); // the first key opens the value editor
            PressIntoFocus(Qt::Key_Return);
            QCOMPARE(Column(*grid, 0), (QStringList{"Petrovic", "Peric"}));
            QVERIFY(form.isVisible());

            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(1, 1)).center());
            QCOMPARE(m_desk->Dm.EmployeeZQlastname.AsString(), std::string("Peric"));
            QTest::mouseClick(Child<QPushButton>(form, "OkButton"), Qt::LeftButton);
        });
        result = form.exec();

        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(m_desk->Dm.EmployeeChosen);
        QCOMPARE(m_desk->Value("SELECT e.lastname FROM employeecard ec JOIN employee e USING (employeeid) "
                               "WHERE ec.employeecardid = " +
                               std::to_string(card)),
                 std::string("Peric"));
        QCOMPARE(m_desk->Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), std::string("1"));
    }

    // Enter on the editor without an open value editor searches too; Esc cancels; the next dialog
    // shows that search's rows with empty values.
    void EscCancelsAndTheNextDialogShowsThePreviousResult()
    {
        AddEmployees(*m_desk);
        m_desk->Dm.SpareCardZQ.Open();
        {
            TGetEmployeeForm form(m_desk->Dm);
            auto* vle = Child<QTableWidget>(form, "SearchVLE");
            vle->item(2, 1)->setText(QString());
            vle->item(1, 1)->setText(QStringLiteral("Zo")); // Ime
            WhileModal(form, [&] {
                QTest::keyClick(vle, Qt::Key_Enter);
                QCOMPARE(Column(*Child<QTableView>(form, "mainDBG"), 0), QStringList{"Jovic"});
                PressIntoFocus(Qt::Key_Escape);
            });
            QCOMPARE(form.exec(), int(QDialog::Rejected));
        }
        QVERIFY(!m_desk->Dm.EmployeeChosen);
        QCOMPARE(m_desk->Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), std::string("0"));

        TGetEmployeeForm next(m_desk->Dm);
        QCOMPARE(Column(*Child<QTableView>(next, "mainDBG"), 0), QStringList{"Jovic"});
        QCOMPARE(next.Values(), (workflows::SearchValues{"", "", "", ""}));
    }

    // A value still in its editor counts when "Pronađi" is clicked with the mouse.
    void ClickingFindTakesTheValueBeingEdited()
    {
        AddEmployees(*m_desk);
        TGetEmployeeForm form(m_desk->Dm);
        auto* vle = Child<QTableWidget>(form, "SearchVLE");
        WhileModal(form, [&] {
            vle->setCurrentCell(3, 1); // JMBG
            FocusOn(vle);
            TypeIntoFocus(QStringLiteral("03"));
            QVERIFY(QApplication::focusWidget() != vle); // still in the value editor
            QTest::mouseClick(Child<QPushButton>(form, "FindButton"), Qt::LeftButton);
            QCOMPARE(Column(*Child<QTableView>(form, "mainDBG"), 0), QStringList{"Jovic"});
            QCOMPARE(form.Values(), (workflows::SearchValues{"", "", "", "03"}));
            form.reject();
        });
        form.exec();
    }

    // Tab out of a value being edited goes on to "Pronađi" with the value taken.
    void TabLeavesTheValueEditorForTheFindButton()
    {
        TGetEmployeeForm form(m_desk->Dm);
        WhileModal(form, [&] {
            TypeIntoFocus(QStringLiteral("Pe"));
            PressIntoFocus(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), Child<QPushButton>(form, "FindButton"));
            QCOMPARE(form.Values()[0], std::string("Pe"));
            form.reject();
        });
        form.exec();
    }

    // Esc while a value is being edited cancels the dialog as well.
    void EscInTheValueEditorCancels()
    {
        m_desk->Dm.SpareCardZQ.Open();
        TGetEmployeeForm form(m_desk->Dm);
        WhileModal(form, [&] {
            TypeIntoFocus(QStringLiteral("x"));
            QVERIFY(QApplication::focusWidget() != Child<QTableWidget>(form, "SearchVLE"));
            PressIntoFocus(Qt::Key_Escape);
        });
        QCOMPARE(form.exec(), int(QDialog::Rejected));
    }

    // A refused search inside the modal loop: the general error report, the list closed, the dialog open.
    void ADatabaseErrorIsReportedAndTheDialogStaysOpen()
    {
        AddEmployees(*m_desk);
        m_desk->Dm.SpareCardZQ.Open();
        TGetEmployeeForm form(m_desk->Dm);
        MessageBoxAnswerer boxes;
        bool stillOpen = false;
        WhileModal(form, [&] {
            m_desk->Db.Exec("DROP TABLE employee");
            QTest::mouseClick(Child<QPushButton>(form, "FindButton"), Qt::LeftButton);
            stillOpen = form.isVisible();
            form.reject();
        });
        form.exec();
        QVERIFY(stillOpen);
        QCOMPARE(boxes.Texts.size(), 1);
        QVERIFY2(boxes.Texts[0].startsWith(QStringLiteral("SQL Error: ")), qPrintable(boxes.Texts[0]));
        QCOMPARE(boxes.Icons[0], QMessageBox::Critical);
        QVERIFY(!m_desk->Dm.EmployeeZQ.Active());
        QCOMPARE(Child<QTableView>(form, "mainDBG")->model()->rowCount(), 0);
    }

    // The wheel hook reaches the dialog's grid: one notch, one row.
    void TheWheelWalksTheResultGrid()
    {
        AddEmployees(*m_desk);
        ApplicationEvents hook;
        hook.Install();
        TGetEmployeeForm form(m_desk->Dm);
        form.FindButtonClick();
        auto* grid = Child<QTableView>(form, "mainDBG");
        QCOMPARE(grid->model()->rowCount(), 3);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        grid->setFocus();
        QCOMPARE(m_desk->Dm.EmployeeZQ.RecNo(), 0);
        const QPointF at(5, 5);
        QWheelEvent wheel(at, grid->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &wheel);
        QCOMPARE(m_desk->Dm.EmployeeZQ.RecNo(), 1);
        form.reject();
    }

private:
    std::unique_ptr<DialogDesk> m_desk;
};

QTEST_MAIN(GetEmployeeFormTest)
#include "GetEmployeeFormTest.moc"

// The main window against a real database: the lists, their colours, the keyboard and the wheel,
// closing, the work modes and the start-up's failures.
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include "NoWindowLeftOpen.h"
#include "DoorHosts.h"
#include "AnsiText.h"
#include "CardGrid.h"
#include "CardGridModel.h"
#include "ErrorReport.h"
#include "ExecutablePath.h"
#include "FileRegistry.h"
#include "MainForm.h"
#include "TavrinReserveGuestDM.h"
#include "TestServer.h"

using namespace selvo;
using namespace selvo::ui;

namespace {

// Windows-1250: 0xD0 D with stroke, 0xF0 d with stroke, 0xE6 c with acute, 0x8A S with caron, 0xE6 c.
constexpr const char* DjordjevicLast = "\xD0or\xF0"
                                       "evi\xE6";
constexpr const char* DjordjevicFirst = "\x8A\xE6"
                                        "epan";

// A small installation: spare cards lent, free and lent to a vanished employee; guest cards with an
// open visit, only closed visits and none; one card in both lists and one in neither.
void LoadDesk(test::TestDatabase& db)
{
    db.Exec(std::string("INSERT INTO employee (employeeid, lastname, firstname, active) VALUES (1, '") +
            DjordjevicLast + "', '" + DjordjevicFirst +
            "', 'Y'), (2, 'Ilic', 'Jelena', 'Y'), (3, 'Petrovic', 'Marko', 'Y')");
    db.Exec("INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment) VALUES "
            "(11, 2, 2000011, 'REZ-03', 'Y', 'REZERVNA'),"
            "(12, NULL, 2000012, 'REZ-02', 'Y', 'REZERVNA'),"
            "(13, 1, 2000013, 'REZ-01', 'Y', 'REZERVNA'),"
            "(14, 99, 2000014, 'REZ-04', 'Y', 'rezervna'),"
            "(21, NULL, 3000021, 'G-02', 'Y', 'GOST 2'),"
            "(22, NULL, 3000022, 'G-01', 'Y', 'GOST 1'),"
            "(23, NULL, 3000023, 'G-03', 'Y', 'GOST 3'),"
            "(30, 3, 4000030, 'X-1', 'Y', 'REZERVNA GOST'),"
            "(40, 3, 5000040, 'R-001', 'Y', 'Radnik')");
    db.Exec("INSERT INTO timerguest (firstname, lastname, startdatetime, enddatetime, employeecardid) VALUES "
            "('Ana', 'Markovic', '2026-12-10 08:00:00', NULL, 22),"
            "('Vuk', 'Ristic', '2026-12-09 08:00:00', '2026-12-09 12:00:00', 21),"
            "('Maja', 'Lazic', '2026-12-08 08:00:00', '2026-12-08 16:00:00', 22)");
}

// The desk with one all-access point on loopback at the given port, the endpoint's own, so the tool's
// frame comes back to it; the guest card G-01 of the open visit has its ticket there.
void LoadDeskWithLoopbackPoint(test::TestDatabase& db, int port)
{
    LoadDesk(db);
    db.Exec("INSERT INTO timeraccesspoint (timeraccesspointid, name, macaddress, localip, publicip, udpport, "
            "tcpport, currentdeviceindex, active, allaccess, readaccess, outdoor) VALUES "
            "(1, 'Ulaz', '00:00:00:00:00:01', '127.0.0.1', '127.0.0.1', " +
            std::to_string(port) + ", 4370, 0, 'Y', 'Y', 'Y', 'N')");
    db.Exec("INSERT INTO timeraccessticket (timeraccesspointid, employeecardid, active) VALUES (1, 22, 'Y')");
}

std::string StoredPassword(const std::string& clear)
{
    std::string stored = clear;
    for (char& c : stored) {
        c = static_cast<char>(static_cast<unsigned char>(c) + 5);
    }
    return stored;
}

// What a message box showed when it was answered, and whether the main window was on screen then.
struct ShownBox
{
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    bool WindowVisible = false;
};

// Answers every modal message box with OK (Enter) and records it, until it goes.
class BoxRecorder final : public QObject
{
public:
    BoxRecorder()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] { Poll(); });
        m_poll.start(5);
    }

    std::vector<ShownBox> Boxes;

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        ShownBox shown{box->windowTitle(), box->text(), box->icon(), false};
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<TMainForm*>(w) != nullptr && w->isVisible()) {
                shown.WindowVisible = true;
            }
        }
        Boxes.push_back(shown);
        QTest::keyClick(box, Qt::Key_Return);
    }

    QTimer m_poll;
};

struct DeskOptions
{
    int Mode = 0;
    bool Reachable = true;
    std::function<void(test::TestDatabase&)> Prepare = LoadDesk;
    // Instead of the own settings file: the registry file's text (the main product's entry).
    std::optional<std::string> RegistryInstead = std::nullopt;
};

// The program on a test database: a settings file beside a stand-in executable, the data module and
// the window made as start-up makes them (creation runs FormCreate), then shown.
class Desk final
{
public:
    explicit Desk(DeskOptions options = {}) : m_registry(m_dir.filePath("registry.ini").toStdString())
    {
        options.Prepare(m_db);
        const test::ServerAddress& server = m_db.Server();
        const int port = options.Reachable ? server.Port : RefusingPort();
        if (options.RegistryInstead) {
            std::ofstream(m_dir.filePath("registry.ini").toStdString(), std::ios::binary) << *options.RegistryInstead;
        } else {
            std::ofstream ini(m_dir.filePath("Selvo.ini").toStdString(), std::ios::binary);
            ini << "[Database]\r\nHostName=" << server.Host << "\r\nDatabaseName=" << m_db.Name() << "\r\nPort=" << port
                << "\r\nUsername=" << server.User << "\r\nPassword=" << StoredPassword(server.Password)
                << "\r\n[Options]\r\nMode=" << options.Mode << "\r\n";
        }

        Dm = std::make_unique<data::TTavrinReserveGuestDM>();
        Form =
            std::make_unique<TMainForm>(*Dm, std::filesystem::path(m_dir.filePath("Selvo").toStdString()), m_registry);
        StartupBoxes = m_boxes.Boxes;
        Form->ShowCentred();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    }

    ~Desk()
    {
        if (Form) {
            Form->close();
        }
        Form.reset();
        Dm.reset();
    }

    static int RefusingPort()
    {
        // Port 1 on loopback: reserved, nothing of ours listens there, and the refusal is immediate.
        return 1;
    }

    template <typename T = QWidget> T* Child(const char* name) const
    {
        T* child = Form->findChild<T*>(QString::fromLatin1(name));
        if (child == nullptr) {
            qFatal("no control %s", name);
        }
        return child;
    }

    CardGrid* Spare() const { return Child<CardGrid>("SpareCardDBG"); }
    CardGrid* Guest() const { return Child<CardGrid>("GuestCardDBG"); }
    QPushButton* Button(const char* name) const { return Child<QPushButton>(name); }
    std::vector<ShownBox> Boxes() const { return m_boxes.Boxes; }
    test::TestDatabase& Db() { return m_db; }

    std::unique_ptr<data::TTavrinReserveGuestDM> Dm;
    std::unique_ptr<TMainForm> Form;
    std::vector<ShownBox> StartupBoxes;

private:
    QTemporaryDir m_dir;
    test::TestDatabase m_db;
    FileRegistry m_registry;
    BoxRecorder m_boxes;
};

QStringList Column(const CardGrid& grid, int column)
{
    QStringList texts;
    for (int row = 0; row < grid.model()->rowCount(); ++row) {
        texts << grid.model()->index(row, column).data().toString();
    }
    return texts;
}

// A cell's pixels as the grid shows them.
QImage CellImage(CardGrid& grid, int row, int column)
{
    const QImage image = grid.grab().toImage();
    QRect cell = grid.visualRect(grid.model()->index(row, column));
    cell.translate(grid.viewport()->mapTo(&grid, QPoint(0, 0)));
    return image.copy(cell);
}

// The background: a pixel near the cell's right edge, past any text.
QColor Background(const QImage& cell)
{
    return cell.pixelColor(cell.width() - 3, cell.height() / 2);
}

bool HasPixel(const QImage& cell, const QColor& colour)
{
    for (int y = 0; y < cell.height(); ++y) {
        for (int x = 0; x < cell.width(); ++x) {
            if (cell.pixelColor(x, y).rgb() == colour.rgb()) {
                return true;
            }
        }
    }
    return false;
}

QColor IndicatorPixel(CardGrid& grid, int row)
{
    const QImage image = grid.grab().toImage();
    QHeaderView* indicator = grid.verticalHeader();
    const int y = indicator->sectionViewportPosition(row) + indicator->sectionSize(row) / 2;
    return image.pixelColor(indicator->mapTo(&grid, QPoint(2, y)));
}

void Turn(QWidget* at, int delta)
{
    const QPointF inside(5, 5);
    QWheelEvent wheel(inside, at->mapToGlobal(inside), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(at, &wheel);
}

const QColor Green(64, 255, 64);
const QColor LightRed(255, 128, 128);

} // namespace

class MainFormTest final : public QObject
{
    Q_OBJECT

private slots:
    void ListsHoldTheirCardsByNameWithTheHoldersAndGuests()
    {
        Desk desk;
        QVERIFY(desk.StartupBoxes.empty());
        CardGrid* spare = desk.Spare();
        CardGrid* guest = desk.Guest();

        QCOMPARE(Column(*spare, 0), QStringList({"REZ-01", "REZ-02", "REZ-03", "REZ-04", "X-1"}));
        QCOMPARE(Column(*spare, 1),
                 QStringList({QString::fromUtf8("Đorđević Šćepan"), "", "Ilic Jelena", "", "Petrovic Marko"}));
        // The open visit's guest; a card with closed visits only and one without visits are free.
        QCOMPARE(Column(*guest, 0), QStringList({"G-01", "G-02", "G-03", "X-1"}));
        QCOMPARE(Column(*guest, 1), QStringList({"Markovic Ana", "", "", ""}));

        QCOMPARE(spare->model()->headerData(0, Qt::Horizontal).toString(), QString("Kod"));
        QCOMPARE(spare->model()->headerData(1, Qt::Horizontal).toString(), QString("Zaposleni"));
        QCOMPARE(guest->model()->headerData(0, Qt::Horizontal).toString(), QString("Kod"));
        QCOMPARE(guest->model()->headerData(1, Qt::Horizontal).toString(), QString("Gost"));
        QCOMPARE(spare->model()->columnCount(), 2);

        // Each list's first card is current, in the grid and in its query.
        QCOMPARE(spare->currentIndex().row(), 0);
        QCOMPARE(desk.Dm->SpareCardZQ.RecNo(), 0);
        QCOMPARE(desk.Dm->SpareCardZQename.AsString(), std::string(DjordjevicLast) + " " + DjordjevicFirst);
    }

    void GridsAreReadOnlyRowSelectingAndTheirColumnsMove()
    {
        Desk desk;
        CardGrid* spare = desk.Spare();
        QCOMPARE(spare->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(spare->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(spare->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(!(spare->model()->flags(spare->model()->index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(spare->verticalHeader()->isVisible());
        QVERIFY(spare->horizontalHeader()->isVisible());
        QVERIFY(spare->showGrid());
        QVERIFY(spare->horizontalHeader()->sectionsMovable());
        QCOMPARE(spare->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);

        const QFontMetrics metrics(spare->font());
        const int nameWidth =
            std::max(10 * metrics.horizontalAdvance('0'),
                     QFontMetrics(spare->horizontalHeader()->font()).horizontalAdvance(QString("Kod"))) +
            4;
        QCOMPARE(spare->columnWidth(0), nameWidth);
        QCOMPARE(spare->columnWidth(1), 300);
        QCOMPARE(spare->font().pixelSize(), 13);
        QCOMPARE(spare->font().family(), QString("MS Sans Serif"));

        // Typing a card's letters does not move the row; nothing can be typed into a cell.
        spare->setFocus();
        QTest::keyClicks(spare, "REZ-04");
        QCOMPARE(spare->currentIndex().row(), 0);
        QCOMPARE(desk.Dm->SpareCardZQ.RecNo(), 0);
        QCOMPARE(spare->model()->index(0, 0).data().toString(), QString("REZ-01"));
    }

    void WindowHasItsCaptionsFontsColoursAndPlaces()
    {
        Desk desk;
        TMainForm& form = *desk.Form;
        QCOMPARE(form.windowTitle(), QString("Tavrin Selvo"));
        QCOMPARE(form.size(), QSize(1048, 545));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);

        struct Control
        {
            const char* Name;
            QRect Geometry;
            const char* Caption;
            const char* Family;
            int PixelSize;
        };
        const Control controls[] = {
            {"LeftPanel", {0, 0, 520, 465}, nullptr, nullptr, 0},
            {"LeftTopPanel", {4, 4, 512, 72}, " Rezervne kartice", "Arial", 21},
            {"ConnectButton", {196, 12, 95, 48}, "Po&ve\x9Ei", "Arial", 16},
            {"RemoveButton", {295, 12, 95, 48}, "&Ukini", "Arial", 16},
            {"SpareCardDBG", {4, 76, 512, 385}, nullptr, "MS Sans Serif", 13},
            {"RightPanel", {520, 0, 520, 465}, nullptr, nullptr, 0},
            {"RightTopPanel", {4, 4, 512, 72}, " Gost kartice", "MS Arial", 21},
            {"StartButton",
             {196, 12, 95, 48},
             "&Po\xE8"
             "etak",
             "MS Arial",
             16},
            {"StopButton", {295, 12, 95, 48}, "&Kraj", "MS Arial", 16},
            {"GuestCardDBG", {4, 76, 512, 385}, nullptr, "MS Sans Serif", 13},
            {"BottomPanel", {0, 465, 1040, 72}, nullptr, nullptr, 0},
            {"CloseButton", {936, 12, 95, 48}, "&Zatvori", "MS Sans Serif", 16},
        };
        for (const Control& c : controls) {
            QWidget* w = desk.Child(c.Name);
            QCOMPARE(w->geometry(), c.Geometry);
            if (c.Caption != nullptr) {
                const QString text = qobject_cast<QPushButton*>(w) != nullptr ? qobject_cast<QPushButton*>(w)->text()
                                                                              : qobject_cast<QLabel*>(w)->text();
                QCOMPARE(ToAnsi(text), std::string(c.Caption));
            }
            if (c.Family != nullptr) {
                QCOMPARE(w->font().family(), QString(c.Family));
                QCOMPARE(w->font().pixelSize(), c.PixelSize);
            }
        }
        // The two panels' client area starts 4 pixels inside the window.
        QCOMPARE(desk.Child("LeftPanel")->mapTo(&form, QPoint(0, 0)), QPoint(4, 4));
        QCOMPARE(desk.Child("BottomPanel")->mapTo(&form, QPoint(0, 0)), QPoint(4, 469));
        // The lists' titles are written in their colours; the buttons on them in the button-text colour.
        const QImage leftTop = desk.Child("LeftTopPanel")->grab().toImage();
        const QImage rightTop = desk.Child("RightTopPanel")->grab().toImage();
        QVERIFY(HasPixel(leftTop.copy(0, 0, 190, 72), Green));
        QVERIFY(HasPixel(rightTop.copy(0, 0, 190, 72), QColor(255, 64, 64)));
        QVERIFY(!HasPixel(leftTop.copy(196, 12, 95, 48), Green));
        QVERIFY(HasPixel(leftTop.copy(196, 12, 95, 48),
                         desk.Button("ConnectButton")->palette().color(QPalette::ButtonText)));
        QVERIFY(desk.Button("CloseButton")->isDefault());
        QCOMPARE(form.font().pixelSize(), 13);
        // Where the designed faces are missing, Arial's metric twin stands in for all three.
        for (const char* name : {"SpareCardDBG", "LeftTopPanel", "RightTopPanel", "CloseButton"}) {
            const QString face = QFontInfo(desk.Child(name)->font()).family();
            QVERIFY2(QStringList({"Microsoft Sans Serif", "Arial", "Liberation Sans"}).contains(face),
                     qPrintable(QString("%1: %2").arg(name, face)));
        }

        // Tab walks the controls in their order and wraps around.
        desk.Button("ConnectButton")->setFocus();
        QStringList order;
        for (int i = 0; i < 8; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, QStringList({"ConnectButton", "RemoveButton", "SpareCardDBG", "StartButton", "StopButton",
                                     "GuestCardDBG", "CloseButton", "ConnectButton"}));
    }

    void InUseRowsAreColouredAndTheCurrentRowOfAFocusedGridHighlighted()
    {
        Desk desk;
        CardGrid* spare = desk.Spare();
        CardGrid* guest = desk.Guest();
        const QColor base = spare->palette().color(QPalette::Base);
        const QColor text = spare->palette().color(QPalette::Text);
        const QColor highlight = spare->palette().color(QPalette::Highlight);
        const QColor highlightText = spare->palette().color(QPalette::HighlightedText);
        QVERIFY(base != highlight);

        desk.Button("CloseButton")->setFocus(); // neither grid focused
        QTRY_VERIFY(!spare->hasFocus());
        for (int column = 0; column < 2; ++column) {
            // Row 0 (lent, current but unfocused), 1 (free), 3 (holder gone: NULL ename) of the spare list.
            QCOMPARE(Background(CellImage(*spare, 0, column)), Green);
            QVERIFY(HasPixel(CellImage(*spare, 0, column), text));
            QCOMPARE(Background(CellImage(*spare, 1, column)), base);
            QCOMPARE(Background(CellImage(*spare, 3, column)), base);
            QCOMPARE(Background(CellImage(*guest, 0, column)), LightRed);
            QCOMPARE(Background(CellImage(*guest, 1, column)), base);
        }
        QVERIFY(HasPixel(CellImage(*spare, 1, 0), text));
        // The indicator column and the titles keep their own colours.
        QCOMPARE(IndicatorPixel(*spare, 2), IndicatorPixel(*spare, 1));
        QVERIFY(IndicatorPixel(*spare, 2) != Green);
        QVERIFY(IndicatorPixel(*guest, 0) != LightRed);

        // Focused: a free current row in the highlight colours, a lent one in green with highlight text.
        spare->setFocus();
        QTRY_VERIFY(spare->hasFocus());
        QCOMPARE(Background(CellImage(*spare, 0, 1)), Green);
        QVERIFY(HasPixel(CellImage(*spare, 0, 1), highlightText));
        QVERIFY(!HasPixel(CellImage(*spare, 0, 1), text));
        QTest::keyClick(spare, Qt::Key_Down);
        QCOMPARE(Background(CellImage(*spare, 1, 0)), highlight);
        QCOMPARE(Background(CellImage(*spare, 1, 1)), highlight);
        QVERIFY(HasPixel(CellImage(*spare, 1, 0), highlightText));
        QCOMPARE(Background(CellImage(*spare, 0, 1)), Green);
        QVERIFY(HasPixel(CellImage(*spare, 0, 1), text));
        QTest::keyClick(spare, Qt::Key_Down);
        QCOMPARE(Background(CellImage(*spare, 2, 0)), Green);
        QVERIFY(HasPixel(CellImage(*spare, 2, 0), highlightText));
        QCOMPARE(Background(CellImage(*spare, 1, 0)), base);

        // Focus gone: the current row is drawn as any other.
        desk.Button("CloseButton")->setFocus();
        QTRY_VERIFY(!spare->hasFocus());
        QVERIFY(HasPixel(CellImage(*spare, 2, 0), text));
        QVERIFY(!HasPixel(CellImage(*spare, 2, 0), highlightText));
    }

    // Dragging the `name` column into second place changes nothing about which rows are coloured.
    void ColouringFollowsTheHolderWhereverItsColumnIsDragged()
    {
        Desk desk;
        CardGrid* spare = desk.Spare();
        desk.Button("CloseButton")->setFocus();
        spare->horizontalHeader()->moveSection(1, 0);
        QCOMPARE(spare->horizontalHeader()->visualIndex(0), 1);
        const QColor base = spare->palette().color(QPalette::Base);
        QCOMPARE(Background(CellImage(*spare, 0, 0)), Green);
        QCOMPARE(Background(CellImage(*spare, 0, 1)), Green);
        QCOMPARE(Background(CellImage(*spare, 1, 0)), base);
        QCOMPARE(Background(CellImage(*spare, 1, 1)), base);
        QCOMPARE(spare->horizontalHeader()->sectionSize(1), 300);

        // The operator's order and widths last over the list's refreshes, as an action makes them.
        spare->horizontalHeader()->resizeSection(1, 120);
        desk.Dm->SpareCardZQ.MoveTo(1);
        desk.Db().Exec("UPDATE employeecard SET employeeid = NULL WHERE employeecardid = 11");
        desk.Dm->SpareCardZQ.Refresh();
        QCOMPARE(spare->horizontalHeader()->visualIndex(0), 1);
        QCOMPARE(spare->horizontalHeader()->sectionSize(1), 120);
        QCOMPARE(spare->currentIndex().row(), 1); // REZ-02, unchanged, stays current
        QCOMPARE(spare->model()->index(2, 1).data().toString(), QString());
        QCOMPARE(Background(CellImage(*spare, 2, 0)), base);
        desk.Db().Exec("DELETE FROM employeecard WHERE employeecardid IN (12, 14)");
        desk.Dm->SpareCardZQ.Refresh();
        QCOMPARE(Column(*spare, 0), QStringList({"REZ-01", "REZ-03", "X-1"}));
        QCOMPARE(spare->horizontalHeader()->sectionSize(1), 120);
        desk.Dm->SpareCardZQ.Close();
        QCOMPARE(spare->model()->rowCount(), 0);
        QCOMPARE(desk.Form->SelectedCard(workflows::CardList::Spare), std::nullopt);
        QCOMPARE(spare->horizontalHeader()->visualIndex(0), 1);
    }

    void WheelNotchesWalkTheListAndItsQueryAndStopAtTheEnds()
    {
        Desk desk;
        CardGrid* spare = desk.Spare();
        data::TZQuery& query = desk.Dm->SpareCardZQ;
        spare->setFocus();
        QTRY_VERIFY(spare->hasFocus());

        Turn(spare->viewport(), -120); // towards the operator
        QCOMPARE(spare->currentIndex().row(), 1);
        QCOMPARE(query.RecNo(), 1);
        QCOMPARE(desk.Dm->SpareCardZQname.AsString(), std::string("REZ-02"));
        for (int i = 0; i < 6; ++i) {
            Turn(spare->viewport(), -360);
        }
        QCOMPARE(spare->currentIndex().row(), 4);
        QCOMPARE(query.RecNo(), 4);
        QCOMPARE(spare->model()->rowCount(), 5);
        QCOMPARE(query.RecordCount(), 5);
        Turn(spare->viewport(), 120);
        QCOMPARE(query.RecNo(), 3);
        QTest::keyClick(spare, Qt::Key_Up);
        QCOMPARE(query.RecNo(), 2);
        QCOMPARE(spare->currentIndex().row(), 2);
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(spare, Qt::Key_Up);
        }
        QCOMPARE(query.RecNo(), 0);
        QCOMPARE(spare->model()->headerData(0, Qt::Vertical).toString().isEmpty(), false);
        QVERIFY(spare->model()->headerData(1, Qt::Vertical).toString().isEmpty());

        // The query moved by someone else moves the grid.
        query.MoveTo(3);
        QCOMPARE(spare->currentIndex().row(), 3);
        QCOMPARE(desk.Form->SelectedCard(workflows::CardList::Spare), std::optional<int>(3));
        QCOMPARE(desk.Form->SelectedCard(workflows::CardList::Guest), std::optional<int>(0));
    }

    // On the push buttons the wheel (as Up and Down) moves within the panel, wrapping around.
    void WheelOnAButtonMovesTheFocusWithinItsPanel()
    {
        Desk desk;
        QPushButton* connect = desk.Button("ConnectButton");
        QPushButton* remove = desk.Button("RemoveButton");
        QPushButton* close = desk.Button("CloseButton");
        connect->setFocus();
        Turn(connect, -120);
        QCOMPARE(QApplication::focusWidget(), remove);
        Turn(remove, -120);
        QCOMPARE(QApplication::focusWidget(), connect);
        Turn(connect, 120);
        QCOMPARE(QApplication::focusWidget(), remove);
        close->setFocus();
        Turn(close, -120);
        QCOMPARE(QApplication::focusWidget(), close);
        QTest::keyClick(close, Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), close);
    }

    void EscAnywhereAndEnterOffTheButtonsClose_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::newRow("Esc in the spare list") << "SpareCardDBG" << int(Qt::Key_Escape);
        QTest::newRow("Esc on ConnectButton") << "ConnectButton" << int(Qt::Key_Escape);
        QTest::newRow("Esc on StopButton") << "StopButton" << int(Qt::Key_Escape);
        QTest::newRow("Enter in the spare list") << "SpareCardDBG" << int(Qt::Key_Return);
        QTest::newRow("keypad Enter in the guest list") << "GuestCardDBG" << int(Qt::Key_Enter);
        QTest::newRow("Enter on CloseButton") << "CloseButton" << int(Qt::Key_Return);
    }
    void EscAnywhereAndEnterOffTheButtonsClose()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        Desk desk;
        QSignalSpy closed(desk.Form.get(), &TMainForm::Closed);
        QWidget* target = desk.Child(focus.toLatin1().constData());
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(!desk.Form->isVisible());
        QVERIFY(desk.Boxes().empty());
    }

    // Enter on a focused push button presses that button: here the lending of a lent card, which
    // only says so.
    void EnterOnConnectButtonLendsInsteadOfClosing()
    {
        Desk desk;
        QSignalSpy closed(desk.Form.get(), &TMainForm::Closed);
        QPushButton* connect = desk.Button("ConnectButton");
        connect->setFocus();
        QTest::keyClick(connect, Qt::Key_Return);
        QTRY_COMPARE(desk.Boxes().size(), std::size_t(1));
        QCOMPARE(ToAnsi(desk.Boxes()[0].Text), std::string("Kartica je ve\xE6"
                                                           " dodeljena, morate je osloboditi ili morate izabrati "
                                                           "drugu karticu!"));
        QCOMPARE(desk.Boxes()[0].Icon, QMessageBox::NoIcon);
        QCOMPARE(closed.count(), 0);
        QVERIFY(desk.Form->isVisible());
        QVERIFY(!desk.Form->isHidden());
    }

    void AcceleratorsPressOnlyEnabledButtons_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("boxes");
        QTest::newRow("mode 0: Alt+V lends") << 0 << 1;
        QTest::newRow("mode 2: Alt+V does nothing") << 2 << 0;
    }
    void AcceleratorsPressOnlyEnabledButtons()
    {
        QFETCH(int, mode);
        QFETCH(int, boxes);
        Desk desk({.Mode = mode});
        QSignalSpy closed(desk.Form.get(), &TMainForm::Closed);
        QTest::keyClick(desk.Form.get(), Qt::Key_V, Qt::AltModifier);
        if (boxes > 0) {
            QTRY_COMPARE(int(desk.Boxes().size()), boxes);
        }
        QCOMPARE(closed.count(), 0);
        desk.Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(desk.Form.get()));
        // An accelerator clicks after the button's brief press: once Alt+Z has closed the window,
        // Alt+V's click would have come before it.
        QTest::keyClick(desk.Form.get(), Qt::Key_Z, Qt::AltModifier);
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(int(desk.Boxes().size()), boxes);
    }

    void WorkModeSetsTheButtonsAndTheFirstFocus_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("spareDesk");
        QTest::addColumn<bool>("guestDesk");
        QTest::addColumn<QString>("focus");
        QTest::newRow("1: spare desk") << 1 << true << false << "ConnectButton";
        QTest::newRow("2: guest desk") << 2 << false << true << "SpareCardDBG";
        QTest::newRow("7: guest desk") << 7 << false << true << "SpareCardDBG";
        QTest::newRow("0: both") << 0 << true << true << "ConnectButton";
        QTest::newRow("-3: both") << -3 << true << true << "ConnectButton";
    }
    void WorkModeSetsTheButtonsAndTheFirstFocus()
    {
        QFETCH(int, mode);
        QFETCH(bool, spareDesk);
        QFETCH(bool, guestDesk);
        QFETCH(QString, focus);
        Desk desk({.Mode = mode});
        QCOMPARE(desk.Dm->WorkMode, mode);
        QCOMPARE(desk.Button("ConnectButton")->isEnabled(), spareDesk);
        QCOMPARE(desk.Button("RemoveButton")->isEnabled(), spareDesk);
        QCOMPARE(desk.Button("StartButton")->isEnabled(), guestDesk);
        QCOMPARE(desk.Button("StopButton")->isEnabled(), guestDesk);
        QVERIFY(desk.Button("CloseButton")->isEnabled());
        QTRY_VERIFY(QApplication::focusWidget() != nullptr);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    }

    // Unreachable server: the message comes first, with no window behind it; then two empty grids
    // and the work mode applied all the same.
    void UnreachableServerGivesTheMessageFirstAndEmptyGrids()
    {
        Desk desk({.Mode = 1, .Reachable = false});
        QCOMPARE(desk.StartupBoxes.size(), std::size_t(1));
        const ShownBox& box = desk.StartupBoxes[0];
        QCOMPARE(box.Text, QString::fromUtf8("Greška prilikom konekcije na bazu podataka!"));
        QCOMPARE(box.Title, QApplication::applicationName());
        QCOMPARE(box.Icon, QMessageBox::NoIcon);
        QVERIFY(!box.WindowVisible);
        QVERIFY(!desk.Dm->ZConnection.Connected());
        QCOMPARE(desk.Spare()->model()->rowCount(), 0);
        QCOMPARE(desk.Guest()->model()->rowCount(), 0);
        QVERIFY(!desk.Dm->SpareCardZQ.Active());
        QVERIFY(desk.Button("ConnectButton")->isEnabled());
        QVERIFY(!desk.Button("StartButton")->isEnabled());
        QVERIFY(!desk.Button("StopButton")->isEnabled());
        // No card is selected, so an action does nothing.
        QCOMPARE(desk.Form->SelectedCard(workflows::CardList::Spare), std::nullopt);
        QCOMPARE(desk.Boxes().size(), std::size_t(1));
    }

    // A list text the server rejects ends the creation handler there: the error report with the
    // failure's own text and a full stop, the guest list never opened, the work mode never applied.
    void FailingListGoesToTheErrorReportWithAllButtonsEnabled()
    {
        Desk desk({.Mode = 1, .Prepare = [](test::TestDatabase& db) {
                       LoadDesk(db);
                       db.Exec("DROP TABLE employee");
                   }});
        QCOMPARE(desk.StartupBoxes.size(), std::size_t(1));
        const ShownBox& box = desk.StartupBoxes[0];
        QCOMPARE(box.Icon, QMessageBox::Critical);
        QCOMPARE(box.Title, QApplication::applicationName());
        QVERIFY2(box.Text.startsWith("SQL Error: ") && box.Text.contains("employee") && box.Text.endsWith("."),
                 qPrintable(box.Text));
        QVERIFY(!box.WindowVisible);
        QVERIFY(desk.Dm->ZConnection.Connected());
        QVERIFY(!desk.Dm->GuestCardZQ.Active());
        QCOMPARE(desk.Spare()->model()->rowCount(), 0);
        QCOMPARE(desk.Guest()->model()->rowCount(), 0);
        for (const char* name : {"ConnectButton", "RemoveButton", "StartButton", "StopButton"}) {
            QVERIFY2(desk.Button(name)->isEnabled(), name);
        }
        QVERIFY(desk.Form->isVisible());
    }

    // A settings failure ends the creation handler before the connection: the error report, then an
    // unconnected window with all four buttons enabled.
    void SettingsFailureGoesToTheErrorReportAndLeavesTheProgramUnconnected()
    {
        Desk desk({.RegistryInstead = "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\r\n"
                                      "InstallLocation=REG_DWORD:1\r\n"});
        QCOMPARE(desk.StartupBoxes.size(), std::size_t(1));
        QCOMPARE(desk.StartupBoxes[0].Text, QString("Invalid data type for 'InstallLocation'"));
        QCOMPARE(desk.StartupBoxes[0].Icon, QMessageBox::Critical);
        QVERIFY(!desk.StartupBoxes[0].WindowVisible);
        QVERIFY(!desk.Dm->ZConnection.Connected());
        QCOMPARE(desk.Spare()->model()->rowCount(), 0);
        for (const char* name : {"ConnectButton", "RemoveButton", "StartButton", "StopButton"}) {
            QVERIFY2(desk.Button(name)->isEnabled(), name);
        }
    }

    // The lending of a free card and the start of a visit open their dialogs over the window; cancelled,
    // they leave the card as it was.
    void ActionsOpenTheirDialogsOverTheWindow_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("lending") << "SpareCardDBG"
                                 << "ConnectButton"
                                 << "selvo::ui::TGetEmployeeForm";
        QTest::newRow("visit start") << "GuestCardDBG"
                                     << "StartButton"
                                     << "selvo::ui::TGuestForm";
    }
    void ActionsOpenTheirDialogsOverTheWindow()
    {
        QFETCH(QString, list);
        QFETCH(QString, button);
        QFETCH(QString, dialog);
        Desk desk;
        auto* grid = desk.Child<CardGrid>(list.toLatin1().constData());
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down); // REZ-02 and G-02: free
        QString shown;
        bool overTheWindow = false;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 5000);
            QWidget* modal = QApplication::activeModalWidget();
            shown = modal->metaObject()->className();
            overTheWindow = modal->parentWidget() == desk.Form.get();
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        desk.Button(button.toLatin1().constData())->click();
        QCOMPARE(shown, dialog);
        QVERIFY(overTheWindow);
        QVERIFY(desk.Boxes().empty());
        QCOMPARE(desk.Db().Scalar("SELECT COUNT(*) FROM employeecard WHERE employeecardid = 12 AND employeeid IS NULL"),
                 std::optional<std::string>("1"));
        QCOMPARE(desk.Db().Scalar("SELECT COUNT(*) FROM timerguest"), std::optional<std::string>("3"));
        QCOMPARE(Column(*desk.Spare(), 1)[1], QString());
        QCOMPARE(Column(*desk.Guest(), 1)[1], QString());
    }

    // A whole action through the window: ending a visit pushes the card's ticket to the one all-access
    // point, here on loopback at the endpoint's own port, so the tool's own frame comes back as an
    // unclear reply. The reply box comes up during the push and is answered; meanwhile the hourglass
    // shows and the operator's Esc is swallowed; then the visit ends and its row loses its colour.
    void EndingAVisitPushesShowsTheReplyAndUncoloursTheRow()
    {
        const int port = selvo::device::test::FreeUdpPort();
        Desk desk({.Prepare = [port](test::TestDatabase& db) { LoadDeskWithLoopbackPoint(db, port); }});
        QSignalSpy closed(desk.Form.get(), &TMainForm::Closed);
        CardGrid* guest = desk.Guest();
        QCOMPARE(guest->currentIndex().row(), 0); // G-01, Markovic Ana's visit

        Qt::CursorShape duringPause = Qt::BlankCursor;
        QTimer::singleShot(1000, this, [&] {
            duringPause =
                QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor;
            QTest::keyClick(desk.Form.get(), Qt::Key_Escape);
        });
        desk.Button("StopButton")->click();

        const std::vector<ShownBox> boxes = desk.Boxes();
        QCOMPARE(boxes.size(), std::size_t(2));
        QCOMPARE(boxes[0].Title, QString("Error"));
        QCOMPARE(boxes[0].Text, QString("Odgovor iz uredjaja nejasan!"));
        QCOMPARE(boxes[0].Icon, QMessageBox::Critical);
        QCOMPARE(boxes[1].Text, QString::fromUtf8("Kartica je uspešno izbrisana!"));
        QCOMPARE(boxes[1].Title, QApplication::applicationName());
        QCOMPARE(duringPause, Qt::WaitCursor);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(closed.count(), 0);
        QVERIFY(desk.Form->isVisible());

        QCOMPARE(desk.Db().Scalar("SELECT COUNT(*) FROM timerguest WHERE lastname = 'Markovic' AND enddatetime IS NOT "
                                  "NULL AND employeecardid IS NULL"),
                 std::optional<std::string>("1"));
        QCOMPARE(Column(*guest, 1), QStringList({"", "", "", ""}));
        desk.Button("CloseButton")->setFocus();
        QTRY_VERIFY(!guest->hasFocus());
        QCOMPARE(Background(CellImage(*guest, 0, 1)), guest->palette().color(QPalette::Base));
    }

    // A close asked for during a push (the close box; Alt+F4 comes the same way from the window
    // system) is neither refused nor lost: the action runs to its end, message included, and then the
    // window closes, once however often it was asked.
    void CloseDuringAPushIsCarriedOutWhenTheActionHasEnded_data()
    {
        QTest::addColumn<int>("requests");
        QTest::newRow("close box") << 1;
        QTest::newRow("close box twice") << 2;
    }
    void CloseDuringAPushIsCarriedOutWhenTheActionHasEnded()
    {
        QFETCH(int, requests);
        const int port = selvo::device::test::FreeUdpPort();
        Desk desk({.Prepare = [port](test::TestDatabase& db) { LoadDeskWithLoopbackPoint(db, port); }});
        QSignalSpy closed(desk.Form.get(), &TMainForm::Closed);
        bool visibleAfterRequest = false;
        QTimer::singleShot(1000, this, [&] {
            for (int i = 0; i < requests; ++i) {
                desk.Form->windowHandle()->close();
            }
            visibleAfterRequest = desk.Form->isVisible();
        });
        desk.Button("StopButton")->click();

        QVERIFY(visibleAfterRequest);
        const std::vector<ShownBox> boxes = desk.Boxes();
        QCOMPARE(boxes.size(), std::size_t(2));
        QCOMPARE(boxes[1].Text, QString::fromUtf8("Kartica je uspešno izbrisana!"));
        QVERIFY(boxes[1].WindowVisible);
        QCOMPARE(desk.Db().Scalar("SELECT COUNT(*) FROM timerguest WHERE enddatetime IS NULL"),
                 std::optional<std::string>("0"));
        QCOMPARE(closed.count(), 1);
        QVERIFY(!desk.Form->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // Without /proc (a chroot, a minimal container) the program cannot name its own settings file: the
    // settings step fails into the general error report and the window opens unconnected.
    void MissingExecutablePathIsASettingsFailure()
    {
        BoxRecorder recorder;
        QTemporaryDir dir;
        const FileRegistry registry(dir.filePath("registry.ini").toStdString());
        const std::string link = dir.filePath("proc/self/exe").toStdString();
        data::TTavrinReserveGuestDM dm;
        dm.WorkMode = 5;
        TMainForm form(
            dm, [link] { return ExecutablePath(link); }, registry);
        QCOMPARE(recorder.Boxes.size(), std::size_t(1));
        const ShownBox& box = recorder.Boxes[0];
        QCOMPARE(box.Icon, QMessageBox::Critical);
        QCOMPARE(box.Title, QApplication::applicationName());
        QCOMPARE(box.Text, QString::fromStdString("Cannot find the program's own path (" + link +
                                                  "): No such file or directory."));
        QVERIFY(!box.WindowVisible);
        QVERIFY(!dm.ZConnection.Connected());
        QCOMPARE(dm.WorkMode, 5); // never read
        for (const char* name : {"ConnectButton", "RemoveButton", "StartButton", "StopButton"}) {
            auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
            QVERIFY2(button != nullptr && button->isEnabled(), name);
        }
        form.ShowCentred();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.close();
    }

    // A guest card with two open visits (written by another desk, say) is listed once for each, and
    // ending the visit from either row ends both and lists the card once, free.
    void GuestCardWithTwoOpenVisitsIsListedTwice()
    {
        Desk desk({.Prepare = [](test::TestDatabase& db) {
            LoadDesk(db);
            db.Exec("INSERT INTO timerguest (firstname, lastname, startdatetime, enddatetime, employeecardid) VALUES "
                    "('Iva', 'Zoric', '2026-12-10 09:00:00', NULL, 22)");
        }});
        CardGrid* guest = desk.Guest();
        QCOMPARE(Column(*guest, 0), QStringList({"G-01", "G-01", "G-02", "G-03", "X-1"}));
        QStringList guests = Column(*guest, 1).mid(0, 2);
        guests.sort();
        QCOMPARE(guests, QStringList({"Markovic Ana", "Zoric Iva"}));
        QCOMPARE(Column(*guest, 1).mid(2), QStringList({"", "", ""}));
        guest->setFocus();
        QTest::keyClick(guest, Qt::Key_Down);
        QCOMPARE(desk.Form->SelectedCard(workflows::CardList::Guest), std::optional<int>(1));
        QCOMPARE(desk.Dm->GuestCardZQname.AsString(), std::string("G-01"));

        desk.Button("StopButton")->click(); // the card has no tickets: no push

        QCOMPARE(desk.Boxes().size(), std::size_t(1));
        QCOMPARE(desk.Boxes()[0].Text, QString::fromUtf8("Kartica je uspešno izbrisana!"));
        QCOMPARE(desk.Db().Scalar("SELECT COUNT(*) FROM timerguest WHERE enddatetime IS NULL OR employeecardid = 22"),
                 std::optional<std::string>("0"));
        QCOMPARE(Column(*guest, 0), QStringList({"G-01", "G-02", "G-03", "X-1"}));
        QCOMPARE(Column(*guest, 1), QStringList({"", "", "", ""}));
    }

    void cleanup()
    {
        QCoreApplication::processEvents();
        selvo::ui::VerifyNoWindowLeftOpen();
    }
};

int main(int argc, char** argv)
{
    SelvoApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    MainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainFormTest.moc"

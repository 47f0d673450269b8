// The delivery report in the main window's bottom panel, after card actions that push to simulated
// doors in the door hosts: its text and colour per door, and the frames, rows and boxes of the
// actions, which stay what they are without it.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "AnsiText.h"
#include "CardGrid.h"
#include "DeliveryLabel.h"
#include "DeliveryReport.h"
#include "DeviceLink.h"
#include "DialogTestSupport.h"
#include "DoorHosts.h"
#include "ErrorReport.h"
#include "MainForm.h"
#include "NoWindowLeftOpen.h"
#include "PosixUdpEndpoint.h"
#include "TavrinReserveGuestDM.h"
#include "TestServer.h"
#include "WindowDesk.h"

using namespace selvo;
using namespace selvo::ui;
using namespace selvo::ui::test;
using selvo::device::test::DoorHost;
using selvo::device::test::SimFrame;
using selvo::device::test::SimulatedAccessPoint;

namespace {

const QColor Attention(255, 64, 64); // the guest list header's colour

// One access point of the test installation and what stands behind its address.
struct DoorSpec
{
    const char* Name;        // Windows-1250
    const char* Mode = "ok"; // the simulated access point's answer
    bool Ticket = true;      // the card has a ticket for it
    bool PortTaken = false;  // another program holds its UDP port
    bool NoAddress = false;  // its localip is empty: the send fails
};

// The program on a test database whose all-access points are simulated doors: a lent spare card
// (REZ-01, Ilic Jelena's) and a guest card in use (G-01), with tickets at the doors that have one.
class DoorDesk final
{
public:
    DoorDesk(const std::vector<DoorHost>& hosts, const std::vector<DoorSpec>& doors)
        : m_window([&](selvo::test::TestDatabase& db) { Load(db, hosts, doors); })
    {
    }

    DeliveryLabel* Label() const { return m_window.Child<DeliveryLabel>("DeliveryLabel"); }
    template <typename T = QWidget> T* Child(const char* name) const { return m_window.Child<T>(name); }
    TMainForm& Form() const { return *m_window.Form; }

    // Clicks the button with the card's row current in its list.
    void Press(const char* button, int row)
    {
        auto* grid = Child<CardGrid>(QByteArray(button) == "StopButton" ? "GuestCardDBG" : "SpareCardDBG");
        grid->setCurrentIndex(grid->model()->index(row, 0));
        Child<QPushButton>(button)->click();
    }

    std::string Value(const std::string& sql) { return m_window.Value(sql); }
    std::vector<std::string> Statements()
    {
        return m_window.Db().StatementsOf(m_window.Dm->ZConnection.ThreadId(), selvo::test::LineEnds::Drop);
    }

    std::vector<std::uint16_t> Ports;
    std::vector<std::unique_ptr<SimulatedAccessPoint>> Sims;

private:
    void Load(selvo::test::TestDatabase& db, const std::vector<DoorHost>& hosts, const std::vector<DoorSpec>& doors)
    {
        db.Exec("INSERT INTO employee (employeeid, lastname, firstname, active) VALUES (1, 'Ilic', 'Jelena', 'Y')");
        db.Exec("INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment) VALUES "
                "(11, 1, 2000011, 'REZ-01', 'Y', 'REZERVNA'), (12, NULL, 2000012, 'REZ-02', 'Y', 'REZERVNA'),"
                "(21, NULL, 3000021, 'G-01', 'Y', 'GOST 1')");
        db.Exec("INSERT INTO timerguest (timerguestid, firstname, lastname, startdatetime, employeecardid) VALUES "
                "(5, 'Ana', 'Markovic', '2026-12-10 08:00:00', 21)");
        const auto ports = device::test::FreeUdpPorts(doors.size());
        for (std::size_t i = 0; i < doors.size(); ++i) {
            const DoorSpec& door = doors[i];
            const DoorHost& host = hosts[i % hosts.size()];
            const std::string id = std::to_string(i + 1);
            Ports.push_back(ports[i]);
            Sims.push_back(std::make_unique<SimulatedAccessPoint>(host, ports[i], door.Mode));
            if (door.PortTaken) {
                auto holder = std::make_unique<device::PosixUdpEndpoint>();
                holder->SetDefaultPort(ports[i]);
                holder->Open();
                m_holders.push_back(std::move(holder));
            }
            db.Exec("INSERT INTO timeraccesspoint (timeraccesspointid, name, macaddress, localip, publicip, udpport, "
                    "tcpport, currentdeviceindex, active, allaccess, readaccess, outdoor) VALUES (" +
                    id + ", '" + door.Name + "', '00:00:00:00:00:0" + id + "', '" +
                    (door.NoAddress ? std::string() : host.DoorAddress) + "', '0.0.0.0', " + std::to_string(ports[i]) +
                    ", 4370, 0, 'Y', 'Y', 'Y', 'N')");
            if (door.Ticket) {
                db.Exec("INSERT INTO timeraccessticket (timeraccessticketid, timeraccesspointid, employeecardid, "
                        "employeeid, active) VALUES (" +
                        std::to_string(100 + i) + ", " + id + ", 11, 1, 'Y'), (" + std::to_string(200 + i) + ", " + id +
                        ", 21, NULL, 'Y')");
            }
        }
        // A door that is not all-access has no place in the report.
        db.Exec("INSERT INTO timeraccesspoint (timeraccesspointid, name, macaddress, localip, publicip, udpport, "
                "tcpport, currentdeviceindex, active, allaccess, readaccess, outdoor) VALUES "
                "(9, 'Magacin', '00:00:00:00:00:09', '198.18.0.2', '0.0.0.0', 9, 4370, 0, 'Y', 'N', 'Y', 'N')");
    }

    std::vector<std::unique_ptr<device::PosixUdpEndpoint>> m_holders;
    WindowDesk m_window; // last: the doors stand before the window opens
};

bool HasPixel(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb()) {
                return true;
            }
        }
    }
    return false;
}

// The statements that are not table descriptions (those come once per connection, whenever a table
// is first opened).
std::vector<std::string> WithoutDescriptions(const std::vector<std::string>& statements)
{
    std::vector<std::string> kept;
    for (const std::string& statement : statements) {
        if (statement.rfind("SHOW", 0) != 0) {
            kept.push_back(statement);
        }
    }
    return kept;
}

const QString Removed = QString::fromUtf8("Kartica je uspešno izbrisana!");
const QString Refused = QStringLiteral("Greska! Upis korisnika NEUSPESAN!");
const QString Unclear = QStringLiteral("Odgovor iz uredjaja nejasan!");
const QString Unreachable = QString::fromUtf8("Greška u konekciji sa uređajima!");

} // namespace

Q_DECLARE_METATYPE(std::vector<DoorSpec>)

class DeliveryReportWindowTest final : public QObject
{
    Q_OBJECT

private:
    std::vector<DoorHost> m_hosts;

    bool RequireDoorHosts()
    {
        const auto hosts = device::test::ReadDoorHosts();
        if (!hosts.Unavailable.empty() || hosts.Hosts.size() < 3) {
            const QString why = hosts.Unavailable.empty() ? QStringLiteral("fewer than three door hosts")
                                                          : QString::fromStdString(hosts.Unavailable);
            if (device::test::InCi()) {
                qFatal("door hosts unavailable in CI: %s", qPrintable(why));
            }
            qWarning("door hosts unavailable: %s", qPrintable(why));
            return false;
        }
        m_hosts = hosts.Hosts;
        return true;
    }

private slots:
    void init()
    {
        if (!RequireDoorHosts()) {
            QSKIP("door hosts unavailable");
        }
    }

    void cleanup()
    {
        QCoreApplication::processEvents();
        selvo::ui::VerifyNoWindowLeftOpen();
    }

    // Taking a spare card back from the doors: the line names each all-access door with what it made
    // of the card, red as soon as one did not confirm it; the frames, the rows and the boxes are those
    // the return always gives.
    void ReturnReportsEveryDoor_data()
    {
        QTest::addColumn<std::vector<DoorSpec>>("doors");
        QTest::addColumn<QString>("report");
        QTest::addColumn<bool>("attention");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QList<int>>("frames"); // per door
        QTest::addColumn<bool>("returned");     // the card is free in the database afterwards

        QTest::newRow("ok") << std::vector<DoorSpec>{{"Ulaz", "ok"}} << QString::fromUtf8("Uređaji: Ulaz: potvrđeno")
                            << false << QStringList{Removed} << QList<int>{1} << true;
        QTest::newRow("no") << std::vector<DoorSpec>{{"Ulaz", "no"}} << QString::fromUtf8("Uređaji: Ulaz: odbijeno")
                            << true << QStringList{Refused, Removed} << QList<int>{1} << true;
        QTest::newRow("unclear") << std::vector<DoorSpec>{{"Ulaz", "unclear"}}
                                 << QString::fromUtf8("Uređaji: Ulaz: nejasan odgovor") << true
                                 << QStringList{Unclear, Removed} << QList<int>{1} << true;
        QTest::newRow("silent") << std::vector<DoorSpec>{{"Ulaz", "silent"}}
                                << QString::fromUtf8("Uređaji: Ulaz: bez odgovora") << true << QStringList{Removed}
                                << QList<int>{1} << true;
        // The listener evaluates only the first reply to a frame: "OK", the "NO" after it is ignored.
        QTest::newRow("twice") << std::vector<DoorSpec>{{"Ulaz", "twice"}}
                               << QString::fromUtf8("Uređaji: Ulaz: potvrđeno") << false << QStringList{Removed}
                               << QList<int>{1} << true;
        QTest::newRow("door without a ticket") << std::vector<DoorSpec>{{"Ulaz", "ok"},
                                                                        {"Gara\x9E"
                                                                         "a",
                                                                         "ok", false}}
                                               << QString::fromUtf8("Uređaji: Ulaz: potvrđeno; Garaža: nema tiketa")
                                               << false << QStringList{Removed} << QList<int>{1, 0} << true;
        QTest::newRow("port taken") << std::vector<DoorSpec>{{"Ulaz", "ok"},
                                                             {"Gara\x9E"
                                                              "a",
                                                              "ok", true, true},
                                                             {"Kapija", "ok"}}
                                    << QString::fromUtf8("Uređaji: Ulaz: potvrđeno; Garaža: nije dostupan; "
                                                         "Kapija: nije poslato")
                                    << true << QStringList{Unreachable} << QList<int>{1, 0, 0} << false;
        QTest::newRow("send error") << std::vector<DoorSpec>{{"Ulaz", "ok", true, false, true},
                                                             {"Gara\x9E"
                                                              "a",
                                                              "ok"}}
                                    << QString::fromUtf8("Uređaji: Ulaz: nije dostupan; Garaža: nije poslato") << true
                                    << QStringList{QStringLiteral("Cannot resolve host: empty host name.")}
                                    << QList<int>{0, 0} << false;
    }
    void ReturnReportsEveryDoor()
    {
        QFETCH(std::vector<DoorSpec>, doors);
        QFETCH(QString, report);
        QFETCH(bool, attention);
        QFETCH(QStringList, boxes);
        QFETCH(QList<int>, frames);
        QFETCH(bool, returned);

        DoorDesk desk(m_hosts, doors);
        MessageBoxAnswerer shown;
        DeliveryLabel* label = desk.Label();
        QCOMPARE(label->text(), QString());
        const std::size_t before = desk.Statements().size();

        desk.Press("RemoveButton", 0);

        QCOMPARE(label->text(), report);
        QCOMPARE(label->toolTip(), report);
        QCOMPARE(label->ShownText(), report);
        QCOMPARE(ToAnsi(label->text()),
                 device::DeliveryReportText(desk.Form().Device().LastDelivery())); // Windows-1250 all the way
        const QColor drawn = label->palette().color(QPalette::WindowText);
        const QImage image = label->grab().toImage();
        if (attention) {
            QCOMPARE(drawn, Attention);
            QVERIFY(HasPixel(image, Attention));
        } else {
            QCOMPARE(drawn, desk.Form().palette().color(QPalette::WindowText));
            QVERIFY(!HasPixel(image, Attention));
            QVERIFY(HasPixel(image, drawn));
        }

        // What the action always does.
        QCOMPARE(shown.Texts, boxes);
        for (std::size_t i = 0; i < doors.size(); ++i) {
            const auto count = static_cast<std::size_t>(frames[static_cast<int>(i)]);
            const std::vector<SimFrame> logged =
                desk.Sims[i]->Frames(count, std::chrono::milliseconds(count ? 3000 : 300));
            QCOMPARE(logged.size(), count);
            for (const SimFrame& frame : logged) {
                QCOMPARE(frame.Bytes, 76);
                QVERIFY(frame.CrcOk);
                QCOMPARE(frame.Command, std::string("SE"));
                QCOMPARE(frame.Status, std::string("00"));
                QCOMPARE(frame.Ticket, std::uint32_t(100 + i));
                QCOMPARE(frame.Card, std::uint32_t(2000011));
                QCOMPARE(frame.Enable, 0);
                QCOMPARE(frame.FromPort, int(desk.Ports[i]));
            }
        }
        const std::vector<std::string> statements = desk.Statements();
        const std::vector<std::string> action = WithoutDescriptions(
            std::vector<std::string>(statements.begin() + static_cast<std::ptrdiff_t>(before), statements.end()));
        // The point list is read once, as ever, and no statement is added for the report.
        QCOMPARE(action.size(), std::size_t(returned ? 5 : 2));
        QCOMPARE(action.front(), std::string("SELECT * FROM timeraccesspoint ORDER BY timeraccesspointid"));
        if (returned) {
            QCOMPARE(action[2], std::string("UPDATE employeecard SET employeeid = NULL WHERE employeecardid = 11"));
            QCOMPARE(action[3],
                     std::string("UPDATE timeraccessticket SET employeeid = NULL WHERE employeecardid = 11"));
        }
        QCOMPARE(desk.Value("SELECT COALESCE(employeeid, 0) FROM employeecard WHERE employeecardid = 11"),
                 std::string(returned ? "0" : "1"));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // Empty at the start; cleared while a push runs; filled when it ends, by every pushing action (a
    // visit's end here); left as it was by actions that stop before the push.
    void ReportFollowsThePushesOnly()
    {
        DoorDesk desk(m_hosts, {{"Ulaz", "silent"}});
        MessageBoxAnswerer shown;
        DeliveryLabel* label = desk.Label();
        QCOMPARE(label->text(), QString());
        QCOMPARE(label->toolTip(), QString());
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QCOMPARE(label->font(), desk.Child("BottomPanel")->font());
        QCOMPARE(label->parentWidget()->objectName(), QStringLiteral("BottomPanel"));
        QVERIFY(label->geometry().right() < desk.Child("CloseButton")->geometry().left());

        desk.Press("RemoveButton", 0);
        const QString afterReturn = QString::fromUtf8("Uređaji: Ulaz: bez odgovora");
        QCOMPARE(label->text(), afterReturn);

        // Refused cards, and a lending whose dialog is closed, end before any push.
        desk.Press("RemoveButton", 1);
        QTimer::singleShot(0, this, [] {
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 5000);
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
        });
        desk.Press("ConnectButton", 1);
        QCOMPARE(shown.Texts, QStringList({Removed, QStringLiteral("Kartica nije ni dodeljena!")}));
        QCOMPARE(label->text(), afterReturn);
        QCOMPARE(label->toolTip(), afterReturn);

        QString duringPush = QStringLiteral("not looked at");
        QTimer::singleShot(1000, this, [&] { duringPush = label->text(); });
        desk.Press("StopButton", 0);
        QCOMPARE(duringPush, QString());
        QCOMPARE(label->text(), afterReturn); // the same door, silent again
        QCOMPARE(shown.Texts.size(), 3);
        QCOMPARE(desk.Value("SELECT COUNT(*) FROM timerguest WHERE enddatetime IS NOT NULL"), std::string("1"));

        // Tab never stops on the line.
        desk.Form().activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &desk.Form());
        desk.Child<QPushButton>("ConnectButton")->setFocus();
        QTRY_VERIFY(desk.Child<QPushButton>("ConnectButton")->hasFocus());
        for (int i = 0; i < 8; ++i) {
            QVERIFY(QApplication::focusWidget() != label);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }

    // A line too long for the panel is cut at its end; the tooltip keeps all of it.
    void LongReportIsElidedWithTheWholeTextInItsTooltip()
    {
        DoorDesk desk(m_hosts, {});
        device::DeliveryReport report;
        for (int i = 0; i < 12; ++i) {
            report.push_back({"Ulaz u upravnu zgradu broj " + std::to_string(i + 1), device::DeliveryState::Confirmed});
        }
        report.push_back({"Garaza", device::DeliveryState::NoReply});
        desk.Form().PushEnded(report);

        DeliveryLabel* label = desk.Label();
        const QString whole = FromAnsi(device::DeliveryReportText(report));
        QCOMPARE(label->text(), whole);
        QCOMPARE(label->toolTip(), whole);
        const QString shownText = label->ShownText();
        QVERIFY(shownText.size() < whole.size());
        QVERIFY(shownText.endsWith(QChar(0x2026)));
        QVERIFY(whole.startsWith(shownText.chopped(1)));
        QVERIFY(label->fontMetrics().horizontalAdvance(shownText) <= label->contentsRect().width());
        // The door that needs a look is past the cut, but the colour still says so.
        QVERIFY(HasPixel(label->grab().toImage(), Attention));
    }
};

int main(int argc, char** argv)
{
    SelvoApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    DeliveryReportWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DeliveryReportWindowTest.moc"

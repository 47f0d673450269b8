// The push's pauses and the reply box on the UI thread: input swallowed, reply boxes shown and
// answered, and the wait for the receiving thread never deadlocking with a box it asked for.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "NoWindowLeftOpen.h"
#include "DoorHosts.h"
#include "DeviceLink.h"
#include "ErrorReport.h"
#include "PushSleeper.h"
#include "WorkerReplyBox.h"

using namespace selvo::ui;
using namespace std::chrono_literals;

namespace {

QMessageBox* OpenReplyBox()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(WorkerReplyBox::BoxObjectName) && w->isVisible()) {
            return qobject_cast<QMessageBox*>(w);
        }
    }
    return nullptr;
}

// Answers every reply box that opens with Enter, as the operator would, and remembers what it showed.
// With `when`, a box is answered only once that is true (the test decides when the operator acts).
class ReplyBoxAnswerer final : public QObject
{
public:
    explicit ReplyBoxAnswerer(std::chrono::milliseconds delay = 50ms, std::function<bool()> when = {})
        : m_delay(delay), m_when(std::move(when))
    {
        connect(&m_poll, &QTimer::timeout, this, [this] { Poll(); });
        m_poll.start(5);
    }

    std::atomic<int> Answered{0};
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    Qt::WindowModality Modality = Qt::NonModal;
    bool OwnerLess = false;
    std::function<void()> OnAnswer; // called just before the answer

private:
    void Poll()
    {
        QMessageBox* box = OpenReplyBox();
        if (box == nullptr || box == m_pending || (m_when && !m_when())) {
            return;
        }
        m_pending = box;
        QTimer::singleShot(m_delay, this, [this, box = QPointer<QMessageBox>(box)] {
            if (!box) {
                return;
            }
            Title = box->windowTitle();
            Text = box->text();
            Icon = box->icon();
            Modality = box->windowModality();
            OwnerLess = box->parentWidget() == nullptr;
            ++Answered; // before the key: the waiting thread may run on at once
            if (OnAnswer) {
                OnAnswer();
            }
            QTest::keyClick(box, Qt::Key_Return);
            m_pending = nullptr;
        });
    }

    std::chrono::milliseconds m_delay;
    std::function<bool()> m_when;
    QTimer m_poll;
    QMessageBox* m_pending = nullptr;
};

// One all-access point on loopback whose port is the endpoint's own, so the tool's frame comes back
// to the tool: an intact frame with status "00", an unclear reply.
class OnePoint final : public selvo::device::TimerAccessPointCursor
{
public:
    explicit OnePoint(int port) : m_port(port) {}
    void First() override { m_eof = false; }
    void Next() override { m_eof = true; }
    bool Eof() const override { return m_eof; }
    std::int64_t TimerAccessPointId() const override { return 1; }
    std::string LocalIp() const override { return "127.0.0.1"; }
    std::int64_t UdpPort() const override { return m_port; }
    bool AllAccess() const override { return true; }

private:
    int m_port;
    bool m_eof = true;
};

class OneTicket final : public selvo::device::TimerAccessTicketCursor
{
public:
    void First() override { m_eof = false; }
    void Next() override { m_eof = true; }
    bool Eof() const override { return m_eof; }
    std::int64_t TimerAccessTicketId() const override { return 7; }
    std::int64_t TimerAccessPointId() const override { return 1; }
    std::optional<double> EmployeeCardCode() const override { return 2000012.0; }

private:
    bool m_eof = true;
};

// The program's pauses, writing down the order of events: "pause" after each pause, "wait" as the wait
// for the receiving thread begins and "waited" as it ends.
class OrderedSleeper final : public selvo::device::Sleeper
{
public:
    void Sleep(std::chrono::milliseconds duration) override
    {
        m_sleeper.Sleep(duration);
        Events << "pause";
    }
    void WaitUntil(const std::function<bool()>& done) override
    {
        Events << "wait";
        m_sleeper.WaitUntil(done);
        Events << "waited";
    }
    QStringList Events;

private:
    PushSleeper m_sleeper;
};

class RecordedMessages final : public selvo::device::PlainMessage
{
public:
    void ShowMessage(const std::string& text) override { Texts.push_back(text); }
    std::vector<std::string> Texts;
};

} // namespace

class PushWaitTest final : public QObject
{
    Q_OBJECT

private slots:
    // The receiving thread asks for a box and waits; the UI thread reaches the endpoint's close
    // (WaitUntil the thread has finished) before, while or without the box being asked for.
    void BoxAskedForByTheReceivingThreadIsAnsweredBeforeTheWaitEnds_data()
    {
        QTest::addColumn<int>("askAfterMs");  // when the thread asks, from its start
        QTest::addColumn<int>("waitAfterMs"); // when the UI thread begins to wait, from the thread's start
        QTest::addColumn<bool>("asks");
        QTest::newRow("asked before the wait") << 0 << 150 << true;
        QTest::newRow("asked during the wait") << 150 << 0 << true;
        QTest::newRow("asked as the wait begins") << 0 << 0 << true;
        QTest::newRow("nothing asked") << 0 << 0 << false;
    }
    void BoxAskedForByTheReceivingThreadIsAnsweredBeforeTheWaitEnds()
    {
        QFETCH(int, askAfterMs);
        QFETCH(int, waitAfterMs);
        QFETCH(bool, asks);

        WorkerReplyBox replyBox;
        PushSleeper sleeper;
        ReplyBoxAnswerer answerer;
        std::atomic<bool> finished{false};
        std::atomic<bool> returnedBeforeAnswer{false};

        std::thread receiver([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(askAfterMs));
            if (asks) {
                replyBox.ShowError("Greska! Upis korisnika NEUSPESAN!", "Error");
                returnedBeforeAnswer = answerer.Answered == 0;
            }
            finished = true;
        });
        // The UI thread is busy elsewhere (sending, say) and serves no events meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(waitAfterMs));
        sleeper.WaitUntil([&finished] { return finished.load(); });
        QVERIFY(finished);
        receiver.join();

        QCOMPARE(answerer.Answered, asks ? 1 : 0);
        QVERIFY(!returnedBeforeAnswer);
        if (asks) {
            QCOMPARE(answerer.Title, QString("Error"));
            QCOMPARE(answerer.Text, QString("Greska! Upis korisnika NEUSPESAN!"));
            QCOMPARE(answerer.Icon, QMessageBox::Critical);
            QCOMPARE(answerer.Modality, Qt::ApplicationModal);
            QVERIFY(answerer.OwnerLess);
        }
        QCOMPARE(OpenReplyBox(), nullptr);
    }

    // A pause serves events (a box, timers) and lasts its time; the box stays open past its end and
    // does not hold the push up, but the wait for the thread does not end before it is answered.
    void BoxOutlivesThePauseButNotTheWaitForTheThread()
    {
        WorkerReplyBox replyBox;
        PushSleeper sleeper;
        bool waiting = false;
        ReplyBoxAnswerer answerer(50ms, [&waiting] { return waiting; }); // the operator answers during the wait
        std::atomic<bool> finished{false};
        std::thread receiver([&] {
            replyBox.ShowError("Odgovor iz uredjaja nejasan!", "Error");
            finished = true;
        });
        // Pauses until one has shown the box (the thread may be slow to ask), then one more.
        for (int pause = 0; pause < 100 && OpenReplyBox() == nullptr; ++pause) {
            sleeper.Sleep(100ms);
        }
        QVERIFY(OpenReplyBox() != nullptr);
        QElapsedTimer clock;
        clock.start();
        sleeper.Sleep(150ms);
        const qint64 slept = clock.elapsed();
        QVERIFY2(slept >= 150, qPrintable(QString::number(slept)));
        QVERIFY(OpenReplyBox() != nullptr);
        QCOMPARE(answerer.Answered, 0);
        QVERIFY(!finished);
        waiting = true;
        sleeper.WaitUntil([&finished] { return finished.load(); });
        receiver.join();
        QCOMPARE(answerer.Answered, 1);
        QCOMPARE(answerer.Text, QString("Odgovor iz uredjaja nejasan!"));
    }

    // During a pause the operator's clicks, keys, accelerators and close requests to the program's
    // windows are swallowed, not held back: nothing of it runs after the pause either (a close is
    // only remembered for the window's owner, below).
    void PauseSwallowsOperatorInputToTheWindows()
    {
        QWidget window;
        window.resize(200, 100);
        auto* button = new QPushButton("&Zatvori", &window);
        button->setGeometry(10, 10, 95, 48);
        QSignalSpy clicks(button, &QPushButton::clicked);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        button->setFocus();

        PushSleeper sleeper;
        bool timerRan = false;
        QTimer::singleShot(30, &window, [&] {
            timerRan = true;
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::keyClick(button, Qt::Key_Space);
            QTest::keyClick(&window, Qt::Key_Z, Qt::AltModifier);
            window.close();
        });
        // Long enough for an accelerator's delayed click to have come, had it been let through.
        sleeper.Sleep(300ms);
        QVERIFY(timerRan);
        QCOMPARE(clicks.count(), 0);
        QVERIFY(window.isVisible());

        QCoreApplication::processEvents();
        QCOMPARE(clicks.count(), 0);
        QTest::keyClick(&window, Qt::Key_Z, Qt::AltModifier);
        QTRY_COMPARE(clicks.count(), 1); // an accelerator clicks after the button's brief press
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 2);
        window.close();
    }

    // A box the receiving thread has asked for, but the UI thread never showed, does not keep that
    // thread waiting once the window that serves the boxes is gone.
    void GoingAwayReleasesAThreadStillWaitingForItsBox()
    {
        std::atomic<bool> finished{false};
        std::thread receiver;
        {
            WorkerReplyBox replyBox;
            receiver = std::thread([&] {
                replyBox.ShowError("Odgovor iz uredjaja nejasan!", "Error");
                finished = true;
            });
            std::this_thread::sleep_for(50ms);
            QVERIFY(!finished);
        }
        receiver.join();
        QVERIFY(finished);
        QCoreApplication::processEvents();
        QCOMPARE(OpenReplyBox(), nullptr);
    }

    // The box shows the hourglass' opposite: while it is open the arrow is in force, afterwards the
    // action's hourglass again.
    void BoxGivesTheArrowBackToTheOperatorWhileOpen()
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        WorkerReplyBox replyBox;
        PushSleeper sleeper;
        std::atomic<bool> finished{false};
        Qt::CursorShape whileOpen = Qt::BlankCursor;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (QMessageBox* box = OpenReplyBox()) {
                whileOpen = QGuiApplication::overrideCursor()->shape();
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        poll.start(10);
        std::thread receiver([&] {
            replyBox.ShowError("Greska! Upis korisnika NEUSPESAN!", "Error");
            finished = true;
        });
        sleeper.WaitUntil([&finished] { return finished.load(); });
        receiver.join();
        QCOMPARE(whileOpen, Qt::ArrowCursor);
        QVERIFY(QGuiApplication::overrideCursor() != nullptr);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QGuiApplication::restoreOverrideCursor();
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // The whole chain in the program's arrangement: the reply arrives during the push's pause, the
    // receiving thread asks for the box, the UI thread shows it and goes on with the push; the close
    // at the end keeps serving the box until the operator answers it, and only then ends the push.
    void ReplyBoxDuringAPushIsAnsweredAndTheCloseWaitsForIt()
    {
        WorkerReplyBox replyBox;
        OrderedSleeper sleeper;
        RecordedMessages messages;
        selvo::device::DeviceLink link(messages, replyBox, sleeper);
        OnePoint point(selvo::device::test::FreeUdpPort());
        OneTicket ticket;

        // Answered only once both pauses (2 s + 2 s) have ended and the close waits.
        ReplyBoxAnswerer answerer(50ms, [&sleeper] { return sleeper.Events.contains("wait"); });
        answerer.OnAnswer = [&sleeper] { sleeper.Events << "answered"; };
        QVERIFY(link.PushTickets(true, point, ticket));
        sleeper.Events << "push ended";

        QCOMPARE(answerer.Answered, 1);
        QCOMPARE(answerer.Text, QString("Odgovor iz uredjaja nejasan!"));
        QCOMPARE(answerer.Title, QString("Error"));
        // The box stayed open through the pauses; the push ended only once it had been answered.
        QCOMPARE(sleeper.Events, (QStringList{"pause", "pause", "wait", "answered", "waited", "push ended"}));
        QVERIFY(!link.IdUDPServer1().IsOpen());
        QCOMPARE(link.ReplyState.load(), selvo::device::ReplyEvaluated);
        QVERIFY(messages.Texts.empty());
        QCOMPARE(OpenReplyBox(), nullptr);
    }

    // A close held back by a pause is remembered for its window, once however often it was asked,
    // for the window's owner to carry out; a close outside a pause goes ahead and is not remembered.
    void CloseHeldBackByAPauseIsRememberedOnceForItsWindow()
    {
        QWidget closed;
        QWidget other;
        for (QWidget* window : {&closed, &other}) {
            window->resize(200, 100);
            window->show();
        }
        QVERIFY(QTest::qWaitForWindowExposed(&closed));
        PushSleeper sleeper;
        QTimer::singleShot(30, &closed, [&] {
            closed.close();
            closed.windowHandle()->close();
        });
        sleeper.Sleep(150ms);
        QVERIFY(closed.isVisible());
        QVERIFY(!sleeper.TakeCloseRequest(other));
        QVERIFY(sleeper.TakeCloseRequest(closed));
        QVERIFY(!sleeper.TakeCloseRequest(closed));

        QVERIFY(other.close());
        QVERIFY(!sleeper.TakeCloseRequest(other));
        closed.close();
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
    PushWaitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PushWaitTest.moc"

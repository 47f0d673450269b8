#include "PushSleeper.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include "WorkerReplyBox.h"

namespace selvo::ui {

namespace {

bool IsOperatorInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

} // namespace

// Swallows operator input to every window of the program except the reply boxes; remembers the
// windows whose close it held back.
class PushSleeper::InputSwallower final : public QObject
{
public:
    explicit InputSwallower(PushSleeper& sleeper) : m_sleeper(sleeper) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!IsOperatorInput(event->type()) || !watched->isWidgetType()) {
            return false;
        }
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        if (window->objectName() == QLatin1String(WorkerReplyBox::BoxObjectName)) {
            return false;
        }
        // A close that is not refused goes ahead even when its event never arrives.
        if (event->type() == QEvent::Close) {
            event->ignore();
            auto* closing = static_cast<QWidget*>(watched);
            if (closing->isWindow()) {
                m_sleeper.RememberCloseRequest(*closing);
            }
        } else {
            event->accept();
        }
        return true;
    }

private:
    PushSleeper& m_sleeper;
};

// Input is swallowed from the first pause or wait that begins until the last one ends.
class PushSleeper::SwallowScope final
{
public:
    explicit SwallowScope(PushSleeper& sleeper) : m_sleeper(sleeper)
    {
        if (m_sleeper.m_depth++ == 0) {
            qApp->installEventFilter(m_sleeper.m_swallower.get());
        }
    }
    ~SwallowScope()
    {
        if (--m_sleeper.m_depth == 0) {
            qApp->removeEventFilter(m_sleeper.m_swallower.get());
        }
    }
    SwallowScope(const SwallowScope&) = delete;
    SwallowScope& operator=(const SwallowScope&) = delete;

private:
    PushSleeper& m_sleeper;
};

PushSleeper::PushSleeper() : m_swallower(std::make_unique<InputSwallower>(*this)) {}

PushSleeper::~PushSleeper() = default;

// Asked for more than once, it is still one close.
void PushSleeper::RememberCloseRequest(QWidget& window)
{
    std::erase_if(m_closeRequests, [](const QPointer<QWidget>& held) { return held.isNull(); });
    if (std::find(m_closeRequests.begin(), m_closeRequests.end(), &window) == m_closeRequests.end()) {
        m_closeRequests.emplace_back(&window);
    }
}

bool PushSleeper::TakeCloseRequest(const QWidget& window)
{
    const auto held = std::find(m_closeRequests.begin(), m_closeRequests.end(), &window);
    if (held == m_closeRequests.end()) {
        return false;
    }
    m_closeRequests.erase(held);
    return true;
}

void PushSleeper::Sleep(std::chrono::milliseconds duration)
{
    SwallowScope swallow(*this);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(duration);
    loop.exec();
}

void PushSleeper::WaitUntil(const std::function<bool()>& done)
{
    if (done()) {
        return;
    }
    SwallowScope swallow(*this);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&loop, &done] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
}

} // namespace selvo::ui

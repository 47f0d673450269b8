#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "Sleeper.h"

namespace selvo::ui {

// The ticket push's pauses in the program. A plain sleep would freeze the window and, worse, leave
// the reply boxes that the receiving thread asks for unshown while that thread waits for them; so a
// pause runs a local event loop instead: the windows repaint and reply boxes are shown and can be
// answered, but every other piece of operator input to the program's windows (keys, clicks, the
// wheel, accelerators, closing) is swallowed, so the push goes on as if the thread were asleep and
// nothing the operator did meanwhile runs afterwards. A close request (the close box, Alt+F4) is the
// exception: it is held back, not lost, and remembered for the window's owner to carry out when its
// action has ended (TakeCloseRequest). UI thread only.
class PushSleeper final : public device::Sleeper
{
public:
    PushSleeper();
    ~PushSleeper() override;
    PushSleeper(const PushSleeper&) = delete;
    PushSleeper& operator=(const PushSleeper&) = delete;

    // Whether a request to close the window was held back by a pause or wait since the last call;
    // the request is forgotten by answering.
    bool TakeCloseRequest(const QWidget& window);

    void Sleep(std::chrono::milliseconds duration) override;
    // Serves the UI thread's duties as a pause does until done() is true; done() is asked at least
    // every 10 ms. The endpoint's close waits for its receiving thread this way before joining it,
    // so a reply box that thread is waiting for can still be shown and dismissed.
    void WaitUntil(const std::function<bool()>& done) override;

private:
    class InputSwallower;
    class SwallowScope;

    void RememberCloseRequest(QWidget& window);

    std::unique_ptr<InputSwallower> m_swallower;
    int m_depth = 0;
    std::vector<QPointer<QWidget>> m_closeRequests;
};

} // namespace selvo::ui

#pragma once

#include <chrono>
#include <functional>

namespace selvo::device {

// The push's fixed pauses. The program's window supplies one that keeps painting; tests supply fast ones.
// Called on the UI thread.
class Sleeper
{
public:
    virtual ~Sleeper() = default;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
    // Returns once done() is true, asking it at least every 10 ms. The push waits for the endpoint's
    // receiving thread to end this way before joining it, so a window can meanwhile show and let the
    // operator dismiss a reply box that thread is waiting for. The default just sleeps in between.
    virtual void WaitUntil(const std::function<bool()>& done);
};

// A plain sleep of the calling thread.
class ThreadSleeper final : public Sleeper
{
public:
    void Sleep(std::chrono::milliseconds duration) override;
};

} // namespace selvo::device

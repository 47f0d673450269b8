#include "Sleeper.h"

#include <thread>

namespace selvo::device {

void Sleeper::WaitUntil(const std::function<bool()>& done)
{
    while (!done()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ThreadSleeper::Sleep(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

} // namespace selvo::device

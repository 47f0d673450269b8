#include "Clock.h"

namespace selvo::workflows {

const Clock& TheSystemClock()
{
    static const SystemClock clock;
    return clock;
}

} // namespace selvo::workflows

#pragma once

#include "DateTime.h"

namespace selvo::workflows {

// The local date and time as the workflows stamp it (start and end of a visit). Tests supply one they
// can move. UI thread only.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual data::DateTime Now() const = 0;
};

class SystemClock final : public Clock
{
public:
    data::DateTime Now() const override { return data::DateTime::Now(); }
};

// The one system clock the program uses where no other is given.
const Clock& TheSystemClock();

} // namespace selvo::workflows

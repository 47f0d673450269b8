#pragma once

#include <stdexcept>

namespace selvo::device {

// A failure of the device link that ends the caller's action (an unresolvable host, a failed send).
class DeviceError final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace selvo::device

#pragma once

#include <string>
#include <string_view>

namespace selvo {

struct RegistryString
{
    enum class Status
    {
        Found,
        NotFound, // the key cannot be opened (absent, or refuses access) or has no such value
        WrongType // the value exists but is not a string
    };
    Status State = Status::NotFound;
    std::string Text; // as stored, not expanded, cut at its first NUL; only with Found
};

// Our stand-in for the one registry read the program makes: a string value of an existing key
// under HKEY_LOCAL_MACHINE. Tests replace it with a fake.
class Registry
{
public:
    virtual ~Registry() = default;
    virtual RegistryString ReadLocalMachineString(std::string_view keyPath, std::string_view valueName) const = 0;
};

} // namespace selvo

#include "ExecutablePath.h"

#include "ConnectionSettings.h"

#include <system_error>

namespace selvo {

std::filesystem::path ExecutablePath(const std::filesystem::path& selfLink)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink(selfLink, error);
    if (error) {
        throw SettingsError("Cannot find the program's own path (" + selfLink.string() + "): " + error.message());
    }
    return path;
}

} // namespace selvo

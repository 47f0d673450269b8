#pragma once

#include <filesystem>

namespace selvo {

// The full path of the running executable (/proc/self/exe). Throws std::filesystem::filesystem_error.
std::filesystem::path ExecutablePath();

} // namespace selvo

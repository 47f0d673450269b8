#include "ExecutablePath.h"

namespace selvo {

std::filesystem::path ExecutablePath()
{
    return std::filesystem::read_symlink("/proc/self/exe");
}

} // namespace selvo

#pragma once

#include <filesystem>

namespace selvo {

// The link through which the kernel names the running executable.
inline constexpr const char* SelfExecutableLink = "/proc/self/exe";

// The full path of the running executable, read from selfLink. Throws SettingsError (with the link
// and the system's reason, for the general error report) when the link cannot be read: a chroot or
// a minimal container without /proc.
std::filesystem::path ExecutablePath(const std::filesystem::path& selfLink = SelfExecutableLink);

} // namespace selvo

#pragma once

#include "Registry.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace selvo {

// What the program needs to reach the installation's database, and the desk it serves.
struct ConnectionSettings
{
    std::string HostName;
    std::string DatabaseName;
    std::string UserName;
    std::string Password; // in clear
    std::int32_t Port = 0;
    std::int32_t WorkMode = 0; // the window copies it into the data module's WorkMode
    // The settings file the values came from (or would have, had it existed), as the program
    // names it: the own file's local path, or the main product's file as a Windows path.
    std::string SettingsFile;
};

// A failure that ends the reading without results; its text is for the general error report.
class SettingsError final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Where Windows drive letters live on Linux: drive X: is the folder <root>/x (lower case), which
// the administrator makes a link to wherever that drive's files are (a mounted share, a Wine prefix).
inline constexpr const char* DefaultDriveRoot = "/etc/tavrin-selvo/drives";

// The registry key of the main product's uninstall entry, under HKEY_LOCAL_MACHINE.
inline constexpr const char* BextAUninstallKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1";
inline constexpr const char* DefaultBextALocation = "C:\\Program Files\\Tavrin\\BextA\\";

// The executable's path with the extension of its file name (from the last dot) replaced by
// ".ini", or ".ini" appended when the name has no dot.
std::filesystem::path OwnSettingsPath(const std::filesystem::path& executablePath);

// A Windows path as a local one: backslashes become slashes and a drive letter "X:" becomes
// driveRoot/x. A path without a drive letter is kept (so the registry may name a Linux folder).
std::filesystem::path LocalPathOf(std::string_view windowsPath, const std::filesystem::path& driveRoot);

// Each byte minus 5, modulo 256.
std::string DecodePassword(std::string_view stored);

// The password used when the own settings file gives none: one lower-case letter fixed at build time.
std::string BuiltInDefaultPassword();

// Reads the own settings file beside the executable; only when there is no such file, the main
// product's file found through the registry. Throws SettingsError when the install location in
// the registry is not a string. UI thread, at start-up.
ConnectionSettings ReadConnectionSettings(const std::filesystem::path& executablePath, const Registry& registry,
                                          const std::filesystem::path& driveRoot = DefaultDriveRoot);
// The same for the running program, with the registry file at its fixed place.
ConnectionSettings ReadConnectionSettings();

} // namespace selvo

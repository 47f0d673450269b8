#include "ConnectionSettings.h"

#include "ExecutablePath.h"
#include "FileRegistry.h"
#include "PrivateProfile.h"

#include <system_error>

namespace selvo {

std::filesystem::path OwnSettingsPath(const std::filesystem::path& executablePath)
{
    std::string name = executablePath.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    name += ".ini";
    std::filesystem::path path = executablePath;
    path.replace_filename(name);
    return path;
}

std::filesystem::path LocalPathOf(std::string_view windowsPath, const std::filesystem::path& driveRoot)
{
    std::string path(windowsPath);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    const bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                          ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (!hasDrive) {
        return path;
    }
    const char drive = static_cast<char>(path[0] | 0x20);
    std::string rest = path.substr(2);
    while (!rest.empty() && rest.front() == '/') {
        rest.erase(0, 1);
    }
    return driveRoot / std::string(1, drive) / rest;
}

std::string DecodePassword(std::string_view stored)
{
    std::string clear;
    clear.reserve(stored.size());
    for (const char c : stored) {
        clear.push_back(static_cast<char>(static_cast<unsigned char>(c) - 5U));
    }
    return clear;
}

std::string BuiltInDefaultPassword()
{
    return SELVO_DEFAULT_PASSWORD;
}

ConnectionSettings ReadConnectionSettings(const std::filesystem::path& executablePath, const Registry& registry,
                                          const std::filesystem::path& driveRoot)
{
    ConnectionSettings settings;
    const std::filesystem::path ownPath = OwnSettingsPath(executablePath);
    std::error_code error;
    if (std::filesystem::is_regular_file(ownPath, error)) {
        const PrivateProfile profile = PrivateProfile::FromFile(ownPath);
        settings.SettingsFile = ownPath.string();
        settings.HostName = profile.ReadString("Database", "HostName", "127.0.0.1");
        settings.DatabaseName = profile.ReadString("Database", "DatabaseName", "vardeno");
        settings.Port = profile.ReadInteger("Database", "Port", 3306);
        settings.UserName = profile.ReadString("Database", "Username", "vardeno");
        const std::string stored = profile.ReadString("Database", "Password", "");
        settings.Password = stored.empty() ? BuiltInDefaultPassword() : DecodePassword(stored);
        settings.WorkMode = profile.ReadInteger("Options", "Mode", 0);
        return settings;
    }

    std::string location;
    const RegistryString installLocation = registry.ReadLocalMachineString(BextAUninstallKey, "InstallLocation");
    if (installLocation.State == RegistryString::Status::WrongType) {
        throw SettingsError("Invalid data type for 'InstallLocation'");
    }
    if (installLocation.State == RegistryString::Status::Found) {
        location = installLocation.Text;
    }
    if (location.empty()) {
        location = DefaultBextALocation;
    }
    // No separator: the location is expected to end in one, as the default does.
    settings.SettingsFile = location + "bexta.ini";
    const PrivateProfile profile = PrivateProfile::FromFile(LocalPathOf(settings.SettingsFile, driveRoot));
    settings.HostName = profile.ReadString("Security", "HostName", "127.0.0.1");
    settings.DatabaseName = profile.ReadString("Security", "Database", "vardeno");
    settings.Port = profile.ReadInteger("Security", "Port", 3306);
    settings.UserName = profile.ReadString("Security", "Username", "vardeno");
    settings.Password.clear();
    settings.WorkMode = 0;
    return settings;
}

ConnectionSettings ReadConnectionSettings()
{
    return ReadConnectionSettings(ExecutablePath(), FileRegistry());
}

} // namespace selvo

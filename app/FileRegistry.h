#pragma once

#include "Registry.h"

#include <filesystem>

namespace selvo {

// The registry on Linux: a small read-only file an administrator writes, one section per key
// (the path under HKEY_LOCAL_MACHINE, without the leading backslash) and one line per value,
// typed as in regedit's names:
//
//   [SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Tavrin BextA_is1]
//   InstallLocation=REG_SZ:D:\Apps\BextA\   (a trailing backslash is kept)
//
// REG_SZ and REG_EXPAND_SZ values are strings (one pair of quotes around the text is dropped);
// any other type, or a non-empty value without a type, is not. An empty value (`Name=`) is an empty
// string. The file follows the settings files' reading rules. A missing file is an empty registry.
// Reads the file on every call; safe from any thread.
class FileRegistry final : public Registry
{
public:
    static constexpr const char* DefaultPath = "/etc/tavrin-selvo/registry.ini";

    explicit FileRegistry(std::filesystem::path path = DefaultPath);

    RegistryString ReadLocalMachineString(std::string_view keyPath, std::string_view valueName) const override;

private:
    std::filesystem::path m_path;
};

} // namespace selvo

#pragma once

#include <filesystem>
#include <string_view>

namespace selvo::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder final
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // Writes bytes to a file below the folder, creating the folders on the way.
    std::filesystem::path Write(const std::filesystem::path& relative, std::string_view bytes) const;

private:
    std::filesystem::path m_path;
};

} // namespace selvo::test

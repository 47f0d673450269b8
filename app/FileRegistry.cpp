#include "FileRegistry.h"

#include "PrivateProfile.h"

#include <utility>

namespace selvo {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

FileRegistry::FileRegistry(std::filesystem::path path) : m_path(std::move(path)) {}

RegistryString FileRegistry::ReadLocalMachineString(std::string_view keyPath, std::string_view valueName) const
{
    while (keyPath.starts_with('\\')) {
        keyPath.remove_prefix(1);
    }
    const std::optional<std::string> stored = PrivateProfile::FromFile(m_path).Find(keyPath, valueName);
    if (!stored) {
        return {};
    }
    // An empty value has no type to name; it reads as an empty string, as regedit shows a new value.
    if (stored->empty()) {
        return {RegistryString::Status::Found, {}};
    }
    const std::size_t colon = stored->find(':');
    const std::string_view type = std::string_view(*stored).substr(0, colon);
    if (colon == std::string::npos ||
        !(EqualsIgnoringCase(type, "REG_SZ") || EqualsIgnoringCase(type, "REG_EXPAND_SZ"))) {
        return {RegistryString::Status::WrongType, {}};
    }
    std::string text = stored->substr(colon + 1);
    // Quotes around the text, as around a folder with blanks, are not part of it.
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return {RegistryString::Status::Found, text};
}

} // namespace selvo

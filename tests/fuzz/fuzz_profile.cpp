// The settings reader and its integer conversion on arbitrary bytes: no crash, no hang, and
// answers within the reader's own bounds.
#include "PrivateProfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

const char* const Sections[] = {"Database", "Options", "Security", ""};
const char* const Keys[] = {"HostName", "DatabaseName", "Port", "Username", "Password", "Mode", "Database", ""};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const selvo::PrivateProfile profile = selvo::PrivateProfile::FromText(text);
    for (const char* section : Sections) {
        for (const char* key : Keys) {
            const std::string value = profile.ReadString(section, key, "@");
            if (value.size() > selvo::PrivateProfile::MaxValueLength || value.find('\0') != std::string::npos) {
                std::abort();
            }
            // A value the conversion accepts reads back as that number through the integer read.
            const auto number = selvo::ParseProfileInteger(value);
            if (value != "@" && number && profile.ReadInteger(section, key, 0) != *number) {
                std::abort();
            }
        }
    }
    // Whatever the conversion accepts, its decimal form converts back to the same number.
    if (const auto number = selvo::ParseProfileInteger(text)) {
        if (text.empty() || selvo::ParseProfileInteger(std::to_string(*number)) != number) {
            std::abort();
        }
    }
    return 0;
}

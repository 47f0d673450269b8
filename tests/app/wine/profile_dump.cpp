// Asks the platform's own private-profile reader for every key the program reads, in each file
// named by the list file (one path a line, as the host sees it; Wine maps '/' to drive Z:), and
// prints one line per key: <file index> <section> <key> <length> <escaped answer>.
// Bytes outside printable ASCII, '\' and blanks are written as \xHH, so the line is unambiguous.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const Sentinel = "@@ABSENT@@";

struct Key
{
    const char* Section;
    const char* Name;
};

const Key Keys[] = {{"Database", "HostName"}, {"Database", "DatabaseName"}, {"Database", "Port"},
                    {"Database", "Username"}, {"Database", "Password"},     {"Options", "Mode"},
                    {"Security", "HostName"}, {"Security", "Database"},     {"Security", "Port"},
                    {"Security", "Username"}};

void PrintEscaped(const char* text, DWORD length)
{
    for (DWORD i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > 0x20 && c < 0x7f && c != '\\') {
            std::putchar(c);
        } else {
            std::printf("\\x%02X", c);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: profile_dump <list file>\n");
        return 2;
    }
    FILE* list = std::fopen(argv[1], "rb");
    if (list == nullptr) {
        std::fprintf(stderr, "profile_dump: cannot open %s\n", argv[1]);
        return 2;
    }
    char line[4096];
    unsigned index = 0;
    static char buffer[2048];
    while (std::fgets(line, sizeof line, list) != nullptr) {
        std::string path = line;
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) {
            path.pop_back();
        }
        if (path.empty()) {
            continue;
        }
        if (path[0] == '/') {
            path = "Z:" + path;
        }
        for (char& c : path) {
            if (c == '/') {
                c = '\\';
            }
        }
        for (const Key& key : Keys) {
            std::memset(buffer, 0x7f, sizeof buffer);
            const DWORD length =
                GetPrivateProfileStringA(key.Section, key.Name, Sentinel, buffer, sizeof buffer, path.c_str());
            std::printf("%u %s %s ", index, key.Section, key.Name);
            if (length == std::strlen(Sentinel) && std::memcmp(buffer, Sentinel, length) == 0) {
                std::printf("absent\n");
            } else {
                std::printf("%lu ", static_cast<unsigned long>(length));
                PrintEscaped(buffer, length);
                std::printf("\n");
            }
        }
        ++index;
    }
    std::fclose(list);
    return 0;
}

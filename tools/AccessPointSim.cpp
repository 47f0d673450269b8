// access-point-sim: a simulated door controller for the device tests and for technicians on site.
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "DeviceFrame.h"

namespace {

using selvo::device::DeviceFrame;
using selvo::device::DeviceFrameSize;

constexpr const char* UsageText =
    R"(Usage: access-point-sim --bind ADDRESS --port PORT [--mode MODE[,MODE...]] [--delay MS] [--log FILE]

A simulated access point (door controller). It binds a UDP socket to ADDRESS:PORT, writes one line for
every datagram it receives and answers each intact frame (76 bytes or more, checksum right) to the
address and port the frame came from.

Each line holds the UTC time with microseconds, the sender's address and port, the length, the command
letters, the status, whether the checksum is right, the decoded UserWrite fields (ticket id, card code,
enable flag: 1 admits the card, 0 withdraws it) and the replies sent, for example:
  2026-03-02T09:15:04.201337Z from=198.18.0.1:4001 bytes=76 cmd=SE status=00 crc=ok ticket=1 card=1234567 enable=1 replies=ok

Modes (what is sent back for each intact frame; with a comma-separated list the replies of every
listed mode are sent in that order, e.g. bad-crc,no):
  ok        the frame with status "OK" and the checksum recomputed (the default)
  no        the frame with status "NO": the card user record was refused
  silent    nothing
  bad-crc   the "OK" reply with a wrong checksum
  short     the first 75 bytes of the "NO" reply
  long      the "NO" reply followed by 24 more bytes (100 bytes in all)
  unclear   the frame with status "ok" (lower case, a status the tool does not know)
  twice     two replies: "OK", then "NO"

Options:
  --bind ADDRESS   the IPv4 address to listen on (dotted)
  --port PORT      the UDP port, 1 to 65535 (the point's udpport)
  --mode MODE      see above
  --delay MS       wait MS milliseconds before answering (default 0)
  --log FILE       append the lines to FILE instead of writing them to standard output
  --help           show this text

The first line says where it listens. It runs until SIGINT or SIGTERM. Exit status: 0 after a signal,
1 when the address cannot be bound, 2 for wrong arguments.
)";

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

enum class Mode
{
    Ok,
    No,
    Silent,
    BadCrc,
    Short,
    Long,
    Unclear,
    Twice
};

struct ModeName
{
    const char* Name;
    Mode Value;
};

constexpr std::array<ModeName, 8> ModeNames{{{"ok", Mode::Ok},
                                             {"no", Mode::No},
                                             {"silent", Mode::Silent},
                                             {"bad-crc", Mode::BadCrc},
                                             {"short", Mode::Short},
                                             {"long", Mode::Long},
                                             {"unclear", Mode::Unclear},
                                             {"twice", Mode::Twice}}};

bool ParseModes(const std::string& text, std::vector<Mode>& modes)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        const auto found =
            std::find_if(ModeNames.begin(), ModeNames.end(), [&](const ModeName& m) { return name == m.Name; });
        if (found == ModeNames.end()) {
            return false;
        }
        modes.push_back(found->Value);
        start = comma + 1;
    }
    return !modes.empty();
}

std::vector<std::uint8_t> WithStatus(const DeviceFrame& frame, char s0, char s1)
{
    DeviceFrame reply = frame;
    reply[selvo::device::StatusOffset] = static_cast<std::uint8_t>(s0);
    reply[selvo::device::StatusOffset + 1] = static_cast<std::uint8_t>(s1);
    selvo::device::StoreCrc(reply);
    return {reply.begin(), reply.end()};
}

// The datagrams one mode sends back for one frame, with their names for the log.
void AddReplies(Mode mode, const DeviceFrame& frame, std::vector<std::vector<std::uint8_t>>& replies,
                std::string& names)
{
    auto add = [&](std::vector<std::uint8_t> reply, const char* name) {
        replies.push_back(std::move(reply));
        names += names.empty() ? "" : ",";
        names += name;
    };
    switch (mode) {
    case Mode::Ok:
        add(WithStatus(frame, 'O', 'K'), "ok");
        break;
    case Mode::No:
        add(WithStatus(frame, 'N', 'O'), "no");
        break;
    case Mode::Silent:
        break;
    case Mode::BadCrc: {
        auto reply = WithStatus(frame, 'O', 'K');
        reply[selvo::device::ChecksumOffset] ^= 0xFF;
        add(std::move(reply), "bad-crc");
        break;
    }
    case Mode::Short: {
        auto reply = WithStatus(frame, 'N', 'O');
        reply.resize(DeviceFrameSize - 1);
        add(std::move(reply), "short");
        break;
    }
    case Mode::Long: {
        auto reply = WithStatus(frame, 'N', 'O');
        for (std::uint8_t i = 0; i < 24; ++i) {
            reply.push_back(static_cast<std::uint8_t>(0xA0 + i));
        }
        add(std::move(reply), "long");
        break;
    }
    case Mode::Unclear:
        add(WithStatus(frame, 'o', 'k'), "unclear");
        break;
    case Mode::Twice:
        add(WithStatus(frame, 'O', 'K'), "ok");
        add(WithStatus(frame, 'N', 'O'), "no");
        break;
    }
}

std::string Timestamp()
{
    const auto now = std::chrono::system_clock::now();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%06lldZ", static_cast<long long>(micros % 1000000));
    return text;
}

std::string Letters(const std::uint8_t* bytes)
{
    std::string text;
    for (int i = 0; i < 2; ++i) {
        const std::uint8_t b = bytes[i];
        if (b > 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            text += hex;
        }
    }
    return text;
}

int Fail(const char* message)
{
    std::fprintf(stderr, "access-point-sim: %s\nTry access-point-sim --help.\n", message);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string bindAddress;
    long port = 0;
    std::vector<Mode> modes;
    long delayMs = 0;
    std::string logPath;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(UsageText, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            return Fail(("missing value after " + arg).c_str());
        }
        const std::string value = argv[++i];
        char* end = nullptr;
        if (arg == "--bind") {
            bindAddress = value;
        } else if (arg == "--port") {
            port = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || port < 1 || port > 65535) {
                return Fail("--port needs a number from 1 to 65535");
            }
        } else if (arg == "--mode") {
            modes.clear();
            if (!ParseModes(value, modes)) {
                return Fail("unknown --mode");
            }
        } else if (arg == "--delay") {
            delayMs = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || delayMs < 0) {
                return Fail("--delay needs a number of milliseconds");
            }
        } else if (arg == "--log") {
            logPath = value;
        } else {
            return Fail(("unknown option " + arg).c_str());
        }
    }
    if (bindAddress.empty() || port == 0) {
        return Fail("--bind and --port are required");
    }
    if (modes.empty()) {
        modes.push_back(Mode::Ok);
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, bindAddress.c_str(), &local.sin_addr) != 1) {
        return Fail("--bind needs a dotted IPv4 address");
    }

    std::FILE* log = stdout;
    if (!logPath.empty()) {
        log = std::fopen(logPath.c_str(), "a");
        if (log == nullptr) {
            std::fprintf(stderr, "access-point-sim: cannot open %s: %s\n", logPath.c_str(), std::strerror(errno));
            return 2;
        }
    }

    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0 || ::bind(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "access-point-sim: cannot bind %s:%ld: %s\n", bindAddress.c_str(), port,
                     std::strerror(errno));
        return 1;
    }

    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    std::fprintf(
        log, "%s listening=%s:%ld mode=%s delay=%ld\n", Timestamp().c_str(), bindAddress.c_str(), port,
        [&] {
            std::string names;
            for (Mode m : modes) {
                for (const ModeName& n : ModeNames) {
                    if (n.Value == m) {
                        names += names.empty() ? n.Name : std::string(",") + n.Name;
                    }
                }
            }
            return names;
        }()
            .c_str(),
        delayMs);
    std::fflush(log);

    std::vector<std::uint8_t> buffer(65536);
    while (g_stop == 0) {
        pollfd fd{sock, POLLIN, 0};
        if (::poll(&fd, 1, 200) <= 0) {
            continue;
        }
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(sock, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            continue;
        }
        const std::string stamp = Timestamp();
        const std::span<const std::uint8_t> datagram(buffer.data(), static_cast<std::size_t>(n));
        char fromText[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &from.sin_addr, fromText, sizeof fromText);

        std::string line =
            stamp + " from=" + fromText + ":" + std::to_string(ntohs(from.sin_port)) + " bytes=" + std::to_string(n);
        if (n >= 10) {
            line += " cmd=" + Letters(buffer.data() + 6) + " status=" + Letters(buffer.data() + 8);
        }
        const bool intact = selvo::device::IsIntactFrame(datagram);
        line += intact ? " crc=ok" : " crc=bad";

        std::vector<std::vector<std::uint8_t>> replies;
        std::string names;
        if (intact) {
            DeviceFrame frame{};
            std::copy_n(buffer.begin(), DeviceFrameSize, frame.begin());
            if (frame[6] == selvo::device::UserWriteFirst && frame[7] == selvo::device::UserWriteSecond) {
                const auto record = selvo::device::DecodeUserWrite(frame);
                line += " ticket=" + std::to_string(record.TicketId) + " card=" + std::to_string(record.CardCode) +
                        " enable=" + std::to_string(record.Enable);
            }
            for (Mode m : modes) {
                AddReplies(m, frame, replies, names);
            }
        }
        line += " replies=" + (names.empty() ? std::string("none") : names);
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);

        if (delayMs > 0 && !replies.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        }
        for (const auto& reply : replies) {
            if (::sendto(sock, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&from), fromLength) <
                0) {
                std::fprintf(log, "%s send failed: %s\n", Timestamp().c_str(), std::strerror(errno));
                std::fflush(log);
            }
        }
    }
    ::close(sock);
    if (log != stdout) {
        std::fclose(log);
    }
    return 0;
}

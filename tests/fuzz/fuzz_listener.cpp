// Arbitrary datagrams for the reply listener. The first byte picks the state the datagram meets
// (nothing sent, reply awaited, reply evaluated) and, with its top bit, whether the datagram's
// checksum is made right first (so that intact frames are explored too); the rest, 0 to 9000 bytes,
// is the datagram.
// The listener may only ignore it, accept it silently, or accept it with one of its two boxes.
#include <cstdint>
#include <chrono>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "DeviceFrame.h"
#include "DeviceLink.h"
#include "DeviceTexts.h"

namespace {

using namespace selvo::device;

class NoMessages final : public PlainMessage
{
public:
    void ShowMessage(const std::string&) override { std::abort(); }
};

class CountingBox final : public WorkerMessageBox
{
public:
    void ShowError(const std::string& text, const std::string& caption) override
    {
        if (caption != ReplyBoxCaption) {
            std::abort();
        }
        Texts.push_back(text);
    }
    std::vector<std::string> Texts;
};

class NoSleep final : public Sleeper
{
public:
    void Sleep(std::chrono::milliseconds) override { std::abort(); }
};

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

// Datagrams up to 9000 bytes (plus the state byte), more than libFuzzer's default length.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<char*> args;
    static std::string maxLen = "-max_len=9001";
    args.assign(*argv, *argv + *argc);
    for (char* arg : args) {
        if (std::string(arg).rfind("-max_len=", 0) == 0) {
            return 0;
        }
    }
    args.push_back(maxLen.data());
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 9001) {
        return 0;
    }
    static NoMessages messages;
    static NoSleep sleeper;
    CountingBox box;
    DeviceLink link(messages, box, sleeper);

    constexpr std::uint8_t States[] = {ReplyNothingSent, ReplyAwaited, ReplyEvaluated};
    const std::uint8_t before = States[data[0] % 3];
    link.ReplyState = before;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    if ((data[0] & 0x80) != 0 && bytes.size() >= DeviceFrameSize) {
        const std::uint16_t crc = FrameCrc(std::span<const std::uint8_t>(bytes).first(ChecksumOffset));
        bytes[ChecksumOffset] = static_cast<std::uint8_t>(crc >> 8);
        bytes[ChecksumOffset + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    }
    const std::span<const std::uint8_t> datagram(bytes);

    link.IdUDPServer1UDPRead(datagram);

    const std::uint8_t after = link.ReplyState.load();
    Check(box.Texts.size() <= 1);
    if (after == before) {
        // Ignored: short, damaged, or not awaited.
        Check(box.Texts.empty());
        Check(before != ReplyAwaited || !IsIntactFrame(datagram));
        return 0;
    }
    // Accepted: only an intact frame that was awaited, and then exactly as its status says.
    Check(before == ReplyAwaited && after == ReplyEvaluated && IsIntactFrame(datagram));
    const bool ok = datagram[8] == 'O' && datagram[9] == 'K';
    const bool no = datagram[8] == 'N' && datagram[9] == 'O';
    if (ok) {
        Check(box.Texts.empty());
    } else {
        Check(box.Texts.size() == 1 && box.Texts[0] == (no ? UserWriteRefusedText : UnclearReplyText));
    }
    return 0;
}

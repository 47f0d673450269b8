#include "DeviceFrame.h"

#include <algorithm>

namespace selvo::device {

std::uint16_t UpdateCrc(std::uint16_t crc, std::uint8_t data)
{
    unsigned r = crc;
    r = ((r >> 8) | (r << 8)) & 0xFFFFu;
    r ^= data;
    r ^= (r & 0xFFu) >> 4;
    r = (r ^ (r << 12)) & 0xFFFFu;
    r = (r ^ ((r & 0xFFu) << 5)) & 0xFFFFu;
    return static_cast<std::uint16_t>(r);
}

std::uint16_t FrameCrc(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0;
    for (std::uint8_t b : bytes) {
        crc = UpdateCrc(crc, b);
    }
    return crc;
}

void StoreCrc(DeviceFrame& frame)
{
    const std::uint16_t crc = FrameCrc(std::span<const std::uint8_t>(frame).first(ChecksumOffset));
    frame[ChecksumOffset] = static_cast<std::uint8_t>(crc >> 8);
    frame[ChecksumOffset + 1] = static_cast<std::uint8_t>(crc & 0xFFu);
}

DeviceFrame BuildDeviceFrame(char first, char second, const DevicePayload& payload)
{
    DeviceFrame frame{};
    frame[6] = static_cast<std::uint8_t>(first);
    frame[7] = static_cast<std::uint8_t>(second);
    frame[StatusOffset] = '0';
    frame[StatusOffset + 1] = '0';
    std::copy(payload.begin(), payload.end(), frame.begin() + PayloadOffset);
    StoreCrc(frame);
    return frame;
}

std::uint16_t ReceivedCrc(std::span<const std::uint8_t> frame)
{
    return static_cast<std::uint16_t>(frame[ChecksumOffset] * 256u + frame[ChecksumOffset + 1]);
}

bool IsIntactFrame(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < DeviceFrameSize) {
        return false;
    }
    return ReceivedCrc(datagram) == FrameCrc(datagram.first(ChecksumOffset));
}

namespace {

void PutBigEndian(DevicePayload& payload, std::size_t at, std::uint32_t value)
{
    payload[at] = static_cast<std::uint8_t>(value >> 24);
    payload[at + 1] = static_cast<std::uint8_t>(value >> 16);
    payload[at + 2] = static_cast<std::uint8_t>(value >> 8);
    payload[at + 3] = static_cast<std::uint8_t>(value);
}

std::uint32_t GetBigEndian(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

} // namespace

DevicePayload UserWritePayload(std::uint32_t ticketId, std::uint32_t cardCode, bool enable)
{
    DevicePayload payload{};
    PutBigEndian(payload, 0, ticketId);
    PutBigEndian(payload, 4, cardCode);
    payload[20] = 0x80;
    payload[21] = enable ? 0x01 : 0x00;
    return payload;
}

UserWriteRecord DecodeUserWrite(std::span<const std::uint8_t> frame)
{
    UserWriteRecord record;
    if (frame.size() < DeviceFrameSize) {
        return record;
    }
    record.TicketId = GetBigEndian(frame, PayloadOffset);
    record.CardCode = GetBigEndian(frame, PayloadOffset + 4);
    record.Enable = frame[PayloadOffset + 21];
    return record;
}

} // namespace selvo::device

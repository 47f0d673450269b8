#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace selvo::device {

// The 76-byte datagram of the door controllers' protocol, the same layout both ways:
// 6 leading zero bytes, two command letters, a two-letter status, 64 payload bytes and
// a CRC-16 of bytes 0..73, high byte first.
inline constexpr std::size_t DeviceFrameSize = 76;
inline constexpr std::size_t DevicePayloadSize = 64;
inline constexpr std::size_t StatusOffset = 8;
inline constexpr std::size_t PayloadOffset = 10;
inline constexpr std::size_t ChecksumOffset = 74;

using DeviceFrame = std::array<std::uint8_t, DeviceFrameSize>;
using DevicePayload = std::array<std::uint8_t, DevicePayloadSize>;

// UserWrite, the one command this tool sends: writes one card user record into a door controller.
inline constexpr char UserWriteFirst = 'S';
inline constexpr char UserWriteSecond = 'E';

// One step of the CRC-16 (polynomial 0x1021, MSB first, CRC-16/XMODEM) in its table-free byte-wise form.
// Every computation owns its register, starting at 0x0000.
std::uint16_t UpdateCrc(std::uint16_t crc, std::uint8_t data);

// The checksum of the given bytes with a fresh register.
std::uint16_t FrameCrc(std::span<const std::uint8_t> bytes);

// A request frame: zero leading bytes, the two command letters, status "00", the payload, the checksum.
DeviceFrame BuildDeviceFrame(char first, char second, const DevicePayload& payload);

// The checksum a frame carries at offsets 74 and 75.
std::uint16_t ReceivedCrc(std::span<const std::uint8_t> frame);

// Intact: at least 76 bytes, and the checksum of bytes 0..73 equals the one carried at 74..75.
// Bytes past offset 75 play no part.
bool IsIntactFrame(std::span<const std::uint8_t> datagram);

// Stores the checksum of bytes 0..73 at offsets 74 and 75.
void StoreCrc(DeviceFrame& frame);

// The UserWrite payload: ticket id and card code big-endian at 0 and 4, 0x80 at 20, the enable flag at 21.
DevicePayload UserWritePayload(std::uint32_t ticketId, std::uint32_t cardCode, bool enable);

// What a door controller reads from a UserWrite payload (used by the simulated access point).
struct UserWriteRecord
{
    std::uint32_t TicketId = 0;
    std::uint32_t CardCode = 0;
    std::uint8_t Enable = 0;
};
UserWriteRecord DecodeUserWrite(std::span<const std::uint8_t> frame);

} // namespace selvo::device

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceError.h"
#include "DeviceFrame.h"
#include "DeviceLink.h"

namespace selvo::device {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// The bitwise CRC-16/XMODEM, written independently of UpdateCrc's byte-wise form.
std::uint16_t BitwiseXmodem(const std::vector<std::uint8_t>& data)
{
    std::uint16_t crc = 0;
    for (std::uint8_t byte : data) {
        crc = static_cast<std::uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc =
                (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
        }
    }
    return crc;
}

struct CrcCase
{
    const char* Name;
    std::vector<std::uint8_t> Data;
    std::uint16_t Expected;
};

TEST(DeviceCrc, KnownChecksums)
{
    const std::vector<CrcCase> cases = {
        {"the nine digits", Bytes("123456789"), 0x31C3},
        {"no bytes", {}, 0x0000},
        {"abc", {0x61, 0x62, 0x63}, 0x9DD6},
        {"74 zero bytes", std::vector<std::uint8_t>(74, 0), 0x0000},
    };
    for (const CrcCase& c : cases) {
        EXPECT_EQ(FrameCrc(c.Data), c.Expected) << c.Name;
    }
}

TEST(DeviceCrc, ByteWiseFormAgreesWithTheBitwiseCrc)
{
    std::mt19937 random(76);
    for (int round = 0; round < 500; ++round) {
        std::vector<std::uint8_t> data(random() % 100);
        for (auto& b : data) {
            b = static_cast<std::uint8_t>(random());
        }
        ASSERT_EQ(FrameCrc(data), BitwiseXmodem(data)) << "round " << round;
    }
}

TEST(DeviceFrame, WorkedUserWriteFrameByteForByte)
{
    std::array<std::uint8_t, 76> expected{};
    expected[6] = 0x53;
    expected[7] = 0x45;
    expected[8] = 0x30;
    expected[9] = 0x30;
    expected[13] = 0x01;
    expected[15] = 0x12;
    expected[16] = 0xD6;
    expected[17] = 0x87;
    expected[30] = 0x80;
    expected[31] = 0x01;
    expected[74] = 0x19;
    expected[75] = 0x65;

    const DeviceFrame frame = BuildDeviceFrame('S', 'E', UserWritePayload(1, 1234567, true));
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(ReceivedCrc(frame), 0x1965);

    const UserWriteRecord record = DecodeUserWrite(frame);
    EXPECT_EQ(record.TicketId, 1u);
    EXPECT_EQ(record.CardCode, 1234567u);
    EXPECT_EQ(record.Enable, 1);
}

TEST(DeviceFrame, RequestStatusIsAlwaysZeroZero)
{
    for (const auto& letters : {std::pair{'S', 'E'}, std::pair{'G', 'T'}, std::pair{'\0', '\xFF'}}) {
        const DeviceFrame frame = BuildDeviceFrame(letters.first, letters.second, DevicePayload{});
        EXPECT_EQ(frame[8], '0');
        EXPECT_EQ(frame[9], '0');
        EXPECT_EQ(frame[6], static_cast<std::uint8_t>(letters.first));
        EXPECT_EQ(frame[7], static_cast<std::uint8_t>(letters.second));
        EXPECT_TRUE(IsIntactFrame(frame));
    }
}

TEST(DeviceFrame, EverySingleBitFlipFailsTheFrameCheck)
{
    const DeviceFrame frame = BuildDeviceFrame('S', 'E', UserWritePayload(0x01020304, 3000000000u, true));
    ASSERT_TRUE(IsIntactFrame(frame));
    for (std::size_t byte = 0; byte < frame.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            DeviceFrame damaged = frame;
            damaged[byte] ^= static_cast<std::uint8_t>(1u << bit);
            EXPECT_FALSE(IsIntactFrame(damaged)) << "byte " << byte << " bit " << bit;
        }
    }
}

TEST(DeviceFrame, FrameCheckNeedsSeventySixBytesAndIgnoresTheRest)
{
    const DeviceFrame frame = BuildDeviceFrame('S', 'E', UserWritePayload(7, 8, false));
    std::vector<std::uint8_t> datagram(frame.begin(), frame.end());
    EXPECT_FALSE(IsIntactFrame(std::span(datagram).first(75)));
    datagram.resize(100, 0xEE);
    EXPECT_TRUE(IsIntactFrame(datagram));
}

TEST(DeviceFrame, EnableZeroChangesOnlyTheFlagAndTheChecksum)
{
    const DeviceFrame on = BuildDeviceFrame('S', 'E', UserWritePayload(42, 1234567, true));
    const DeviceFrame off = BuildDeviceFrame('S', 'E', UserWritePayload(42, 1234567, false));
    std::vector<std::size_t> differing;
    for (std::size_t i = 0; i < on.size(); ++i) {
        if (on[i] != off[i]) {
            differing.push_back(i);
        }
    }
    EXPECT_EQ(on[31], 0x01);
    EXPECT_EQ(off[31], 0x00);
    EXPECT_THAT(differing, ::testing::IsSubsetOf({31u, 74u, 75u}));
    EXPECT_THAT(differing, ::testing::Contains(31u));
    EXPECT_NE(ReceivedCrc(on), ReceivedCrc(off));
    EXPECT_TRUE(IsIntactFrame(off));
}

struct CardCodeCase
{
    std::optional<double> Code;
    std::array<std::uint8_t, 4> Wire;
};

// The test's name says the code: "NoCode", "1234567", "2Point5", "Minus1".
std::string CardCodeName(const std::optional<double>& code)
{
    if (!code) {
        return "NoCode";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", *code);
    std::string name = text;
    if (name.ends_with(".0")) {
        name.resize(name.size() - 2);
    }
    if (name.starts_with('-')) {
        name.replace(0, 1, "Minus");
    }
    if (const auto point = name.find('.'); point != std::string::npos) {
        name.replace(point, 1, "Point");
    }
    return name;
}

class CardCode : public ::testing::TestWithParam<CardCodeCase>
{
};

TEST_P(CardCode, TravelsBigEndianAsTheLow32BitsOfTheRoundedCode)
{
    const DeviceFrame frame = BuildDeviceFrame('S', 'E', UserWritePayload(1, CardCodeForFrame(GetParam().Code), true));
    const std::array<std::uint8_t, 4> wire{frame[14], frame[15], frame[16], frame[17]};
    EXPECT_EQ(wire, GetParam().Wire);
}

INSTANTIATE_TEST_SUITE_P(DeviceFrame, CardCode,
                         ::testing::Values(CardCodeCase{3000000000.0, {0xB2, 0xD0, 0x5E, 0x00}},
                                           CardCodeCase{std::nullopt, {0, 0, 0, 0}},
                                           CardCodeCase{1234567.0, {0x00, 0x12, 0xD6, 0x87}},
                                           CardCodeCase{4294967295.0, {0xFF, 0xFF, 0xFF, 0xFF}},
                                           CardCodeCase{4294967296.0 + 5, {0, 0, 0, 5}},
                                           CardCodeCase{2.5, {0, 0, 0, 2}}, CardCodeCase{3.5, {0, 0, 0, 4}},
                                           CardCodeCase{-1.0, {0xFF, 0xFF, 0xFF, 0xFF}}),
                         [](const auto& testCase) { return CardCodeName(testCase.param.Code); });

TEST(DeviceFrame, CardCodeNoIntegerHoldsIsAnError)
{
    EXPECT_THROW(CardCodeForFrame(1e30), DeviceError);
    EXPECT_THROW(CardCodeForFrame(std::numeric_limits<double>::quiet_NaN()), DeviceError);
    EXPECT_THROW(CardCodeForFrame(std::numeric_limits<double>::infinity()), DeviceError);
}

} // namespace
} // namespace selvo::device

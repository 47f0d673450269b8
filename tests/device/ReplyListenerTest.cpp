#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeviceLink.h"
#include "DeviceTestSupport.h"
#include "DeviceTexts.h"

namespace selvo::device {
namespace {

using test::EventLog;
using test::RecordingEndpoint;
using test::RecordingMessages;
using test::RecordingReplyBox;
using test::RecordingSleeper;

const std::string Refused(UserWriteRefusedText);
const std::string Unclear(UnclearReplyText);

std::vector<std::uint8_t> Reply(char s0, char s1, char c0 = 'S', char c1 = 'E')
{
    DeviceFrame frame = BuildDeviceFrame(c0, c1, UserWritePayload(5, 6, true));
    frame[StatusOffset] = static_cast<std::uint8_t>(s0);
    frame[StatusOffset + 1] = static_cast<std::uint8_t>(s1);
    StoreCrc(frame);
    return {frame.begin(), frame.end()};
}

std::vector<std::uint8_t> Damaged(std::vector<std::uint8_t> datagram)
{
    datagram[ChecksumOffset + 1] ^= 0x01;
    return datagram;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> datagram, std::size_t size)
{
    datagram.resize(size);
    return datagram;
}

std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> datagram, std::size_t size)
{
    for (std::size_t i = datagram.size(); i < size; ++i) {
        datagram.push_back(static_cast<std::uint8_t>(i * 7));
    }
    return datagram;
}

class Listener : public ::testing::Test
{
protected:
    EventLog log;
    RecordingMessages messages;
    RecordingReplyBox box;
    RecordingSleeper sleeper;
    DeviceLink link{messages, box, sleeper, std::make_unique<RecordingEndpoint>(log)};
};

struct ListenerCase
{
    const char* Name;
    std::uint8_t StateBefore;
    std::vector<std::uint8_t> Datagram;
    std::uint8_t StateAfter;
    std::vector<std::string> Boxes;
};

class ListenerTable : public Listener, public ::testing::WithParamInterface<ListenerCase>
{
};

TEST_P(ListenerTable, EvaluatesOnlyTheAwaitedIntactReply)
{
    link.ReplyState = GetParam().StateBefore;
    link.IdUDPServer1UDPRead(GetParam().Datagram);
    EXPECT_EQ(link.ReplyState.load(), GetParam().StateAfter);
    EXPECT_EQ(box.Texts(), GetParam().Boxes);
    for (const auto& shown : box.Boxes()) {
        EXPECT_EQ(shown.Caption, "Error");
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReplyListener, ListenerTable,
    ::testing::Values(
        ListenerCase{"OkWhileAwaitedIsSilent", 12, Reply('O', 'K'), 20, {}},
        ListenerCase{"NoWhileAwaitedShowsTheRefusal", 12, Reply('N', 'O'), 20, {Refused}},
        ListenerCase{"LowerCaseOkIsUnclear", 12, Reply('o', 'k'), 20, {Unclear}},
        ListenerCase{"LowerCaseNoIsUnclear", 12, Reply('n', 'o'), 20, {Unclear}},
        ListenerCase{"ToolsOwnFrameIsUnclear", 12, Reply('0', '0'), 20, {Unclear}},
        ListenerCase{"OtherStatusIsUnclear", 12, Reply('O', 'N'), 20, {Unclear}},
        ListenerCase{"OtherCommandLettersStillRefused", 12, Reply('N', 'O', 'X', 'Y'), 20, {Refused}},
        ListenerCase{"HundredBytesCountAsTheirFirst76", 12, Padded(Reply('N', 'O'), 100), 20, {Refused}},
        ListenerCase{"EightThousandBytesCountAsTheirFirst76", 12, Padded(Reply('N', 'O'), 8192), 20, {Refused}},
        ListenerCase{"SeventyFiveBytesIgnoredEvenWithNo", 12, Cut(Reply('N', 'O'), 75), 12, {}},
        ListenerCase{"EmptyDatagramIgnored", 12, {}, 12, {}},
        ListenerCase{"WrongChecksumIgnored", 12, Damaged(Reply('N', 'O')), 12, {}},
        ListenerCase{"DamagedTailOfA100ByteReplyIgnored", 12, Padded(Damaged(Reply('N', 'O')), 100), 12, {}},
        ListenerCase{"IntactReplyBeforeAnythingWasSentIgnored", 0, Reply('N', 'O'), 0, {}},
        ListenerCase{"UnclearReplyBeforeAnythingWasSentIgnored", 0, Reply('?', '?'), 0, {}},
        ListenerCase{"IntactReplyAfterEvaluationIgnored", 20, Reply('N', 'O'), 20, {}},
        ListenerCase{"OkAfterEvaluationIgnored", 20, Reply('O', 'K'), 20, {}}),
    [](const auto& testCase) { return std::string(testCase.param.Name); });

TEST_F(Listener, CorrectReplyAfterADamagedOneIsStillEvaluated)
{
    link.ReplyState = ReplyAwaited;
    link.IdUDPServer1UDPRead(Damaged(Reply('O', 'K')));
    link.IdUDPServer1UDPRead(Cut(Reply('O', 'K'), 75));
    EXPECT_EQ(link.ReplyState.load(), ReplyAwaited);
    link.IdUDPServer1UDPRead(Reply('N', 'O'));
    EXPECT_EQ(link.ReplyState.load(), ReplyEvaluated);
    EXPECT_EQ(box.Texts(), std::vector<std::string>{Refused});
}

TEST_F(Listener, OnlyTheFirstOfTwoRepliesToOneFrameCounts)
{
    link.ReplyState = ReplyAwaited;
    link.IdUDPServer1UDPRead(Reply('O', 'K'));
    link.IdUDPServer1UDPRead(Reply('N', 'O'));
    link.IdUDPServer1UDPRead(Reply('?', '?'));
    EXPECT_EQ(link.ReplyState.load(), ReplyEvaluated);
    EXPECT_TRUE(box.Texts().empty());

    // The next frame awaits a reply again, whatever happened before.
    link.ReplyState = ReplyAwaited;
    link.IdUDPServer1UDPRead(Reply('N', 'O'));
    EXPECT_EQ(box.Texts(), std::vector<std::string>{Refused});
}

TEST(DeviceTexts, AreTheProgramsWindows1250Bytes)
{
    EXPECT_EQ(ConnectionErrorText.size(), 32u);
    EXPECT_EQ(static_cast<unsigned char>(ConnectionErrorText[3]), 0x9Au);
    EXPECT_EQ(static_cast<unsigned char>(ConnectionErrorText[25]), 0xF0u);
    EXPECT_EQ(UserWriteRefusedText, "Greska! Upis korisnika NEUSPESAN!");
    EXPECT_EQ(UnclearReplyText, "Odgovor iz uredjaja nejasan!");
}

} // namespace
} // namespace selvo::device

#include <cstdint>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceError.h"
#include "DeviceLink.h"
#include "DeviceTestSupport.h"
#include "DeviceTexts.h"

namespace selvo::device {
namespace {

using test::EventLog;
using test::ListPoints;
using test::ListTickets;
using test::PointRow;
using test::RecordingEndpoint;
using test::RecordingMessages;
using test::RecordingReplyBox;
using test::RecordingSleeper;
using test::TicketRow;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string ConnectionError(ConnectionErrorText);

// The push against an endpoint without sockets and pauses that only record: order, bytes and errors.
class Push : public ::testing::Test
{
protected:
    Push()
    {
        auto owned = std::make_unique<RecordingEndpoint>(log);
        endpoint = owned.get();
        endpoint->ReplyState = nullptr;
        link = std::make_unique<DeviceLink>(messages, box, sleeper, std::move(owned));
        endpoint->ReplyState = &link->ReplyState;
    }

    std::vector<std::string> Events() const { return log.Events(); }

    EventLog log;
    RecordingMessages messages;
    RecordingReplyBox box;
    RecordingSleeper sleeper{&log};
    RecordingEndpoint* endpoint = nullptr;
    std::unique_ptr<DeviceLink> link;
};

TEST_F(Push, ServesAllAccessPointsInListOrderWithTheirOwnTicketsAndPauses)
{
    ListPoints points({{1, "198.18.0.2", 4001, true},
                       {2, "198.18.0.6", 4002, false},
                       {3, "door-3", 4003, true},
                       {4, "198.18.0.14", 4004, false}});
    ListTickets tickets({{11, 1, 1234567.0}, {12, 1, 7654321.0}, {21, 2, 5.0}, {31, 3, 3000000000.0}, {91, 9, 1.0}});

    EXPECT_TRUE(link->PushTickets(true, points, tickets));

    EXPECT_THAT(Events(),
                ElementsAre("open 4001", "frame 11 to 198.18.0.2:4001", "pause 2000", "frame 12 to 198.18.0.2:4001",
                            "pause 2000", "pause 2000", "close 4001", "open 4003", "frame 31 to door-3:4003",
                            "pause 2000", "pause 2000", "close 4003"));
    ASSERT_EQ(endpoint->Frames.size(), 3u);
    EXPECT_EQ(endpoint->Frames[0].Frame, BuildDeviceFrame('S', 'E', UserWritePayload(11, 1234567, true)));
    EXPECT_EQ(endpoint->Frames[2].Frame, BuildDeviceFrame('S', 'E', UserWritePayload(31, 3000000000u, true)));
    for (const auto& sent : endpoint->Frames) {
        EXPECT_EQ(sent.ReplyStateAtSend, ReplyAwaited);
        EXPECT_EQ(sent.LocalPort, sent.Port) << "each frame leaves from its point's port";
    }
    EXPECT_TRUE(endpoint->Broadcast);
    EXPECT_TRUE(static_cast<bool>(endpoint->Handler));
    EXPECT_THAT(messages.Texts, IsEmpty());

    // What holds afterwards.
    EXPECT_TRUE(points.Eof());
    EXPECT_EQ(tickets.Position, 0u);
    EXPECT_FALSE(endpoint->IsOpen());
    EXPECT_EQ(link->DeviceHost, "door-3");
    EXPECT_EQ(link->DevicePort, 4003);
}

TEST_F(Push, EnableZeroWithdrawsTheCard)
{
    ListPoints points({{1, "198.18.0.2", 4001, true}});
    ListTickets tickets({{11, 1, 1234567.0}, {12, 1, std::nullopt}});

    EXPECT_TRUE(link->PushTickets(false, points, tickets));

    ASSERT_EQ(endpoint->Frames.size(), 2u);
    EXPECT_EQ(endpoint->Frames[0].Frame, BuildDeviceFrame('S', 'E', UserWritePayload(11, 1234567, false)));
    EXPECT_EQ(endpoint->Frames[1].Frame, BuildDeviceFrame('S', 'E', UserWritePayload(12, 0, false)));
}

TEST_F(Push, WithoutAnAllAccessPointNothingIsOpenedAndNothingWaits)
{
    ListPoints points({{1, "198.18.0.2", 4001, false}, {2, "198.18.0.6", 4002, false}});
    ListTickets tickets({{11, 1, 1.0}, {21, 2, 1.0}});

    EXPECT_TRUE(link->PushTickets(true, points, tickets));

    EXPECT_THAT(Events(), IsEmpty());
    EXPECT_TRUE(points.Eof());
    EXPECT_EQ(link->ReplyState.load(), ReplyNothingSent);
}

TEST_F(Push, PointsWithoutTicketsAreOpenedWaitedForAndClosed)
{
    ListPoints points({{1, "198.18.0.2", 4001, true}, {2, "198.18.0.6", 4002, true}, {3, "198.18.0.10", 4003, true}});
    ListTickets tickets({});

    EXPECT_TRUE(link->PushTickets(true, points, tickets));

    EXPECT_THAT(Events(), ElementsAre("open 4001", "pause 2000", "close 4001", "open 4002", "pause 2000", "close 4002",
                                      "open 4003", "pause 2000", "close 4003"));
    EXPECT_TRUE(endpoint->Frames.empty());
}

TEST_F(Push, FailedOpeningAtTheThirdOfFivePointsEndsThePushWithOneMessage)
{
    ListPoints points({{1, "198.18.0.2", 4001, true},
                       {2, "198.18.0.6", 4002, true},
                       {3, "198.18.0.10", 4003, true},
                       {4, "198.18.0.14", 4004, true},
                       {5, "198.18.0.18", 4005, true}});
    ListTickets tickets({{11, 1, 1.0}, {21, 2, 1.0}, {31, 3, 1.0}, {41, 4, 1.0}, {51, 5, 1.0}});
    endpoint->FailOpenOnPorts = {4003};

    EXPECT_FALSE(link->PushTickets(true, points, tickets));

    EXPECT_THAT(messages.Texts, ElementsAre(ConnectionError));
    EXPECT_THAT(Events(), ElementsAre("open 4001", "frame 11 to 198.18.0.2:4001", "pause 2000", "pause 2000",
                                      "close 4001", "open 4002", "frame 21 to 198.18.0.6:4002", "pause 2000",
                                      "pause 2000", "close 4002", "open 4003"));
    EXPECT_FALSE(endpoint->IsOpen());
}

TEST_F(Push, CloseThatLeavesTheEndpointOpenIsReportedAndThePushGoesOn)
{
    ListPoints points({{1, "198.18.0.2", 4001, true}, {2, "198.18.0.6", 4002, true}});
    ListTickets tickets({{11, 1, 1.0}, {21, 2, 1.0}});
    endpoint->StayOpenOnPorts = {4001};

    EXPECT_TRUE(link->PushTickets(true, points, tickets));

    // Each closing that leaves it open is reported; the second opening changes nothing.
    EXPECT_THAT(messages.Texts, ElementsAre(ConnectionError, ConnectionError));
    EXPECT_THAT(Events(), ElementsAre("open 4001", "frame 11 to 198.18.0.2:4001", "pause 2000", "pause 2000",
                                      "close 4001", "open (already open on 4001)", "frame 21 to 198.18.0.6:4002",
                                      "pause 2000", "pause 2000", "close 4001"));
}

TEST_F(Push, CloseThatFailsWithAnErrorIsReportedAndEndsThePush)
{
    ListPoints points({{1, "198.18.0.2", 4001, true}, {2, "198.18.0.6", 4002, true}});
    ListTickets tickets({{11, 1, 1.0}, {21, 2, 1.0}});
    endpoint->ThrowOnCloseOnPorts = {4001};

    EXPECT_THROW(link->PushTickets(true, points, tickets), DeviceError);

    EXPECT_THAT(messages.Texts, ElementsAre(ConnectionError));
    EXPECT_EQ(Events().back(), "close 4001");
}

TEST_F(Push, FailedSendEndsThePushAndClosesTheEndpoint)
{
    ListPoints points({{1, "", 4001, true}, {2, "198.18.0.6", 4002, true}});
    ListTickets tickets({{11, 1, 1.0}, {12, 1, 1.0}, {21, 2, 1.0}});
    endpoint->UnresolvableHosts = {""};

    EXPECT_THROW(link->PushTickets(true, points, tickets), DeviceError);

    EXPECT_THAT(Events(), ElementsAre("open 4001", "close 4001"));
    EXPECT_FALSE(endpoint->IsOpen());
    EXPECT_THAT(messages.Texts, IsEmpty());

    // The next push binds its own point's port, not the failed one's.
    ListPoints next({{2, "198.18.0.6", 4002, true}});
    EXPECT_TRUE(link->PushTickets(true, next, tickets));
    ASSERT_EQ(endpoint->Frames.size(), 1u);
    EXPECT_EQ(endpoint->Frames[0].LocalPort, 4002);
}

TEST_F(Push, TicketsMatchPointsByTheLow32BitsOfTheirIds)
{
    const std::int64_t bigId = (std::int64_t{1} << 32) + 7;
    ListPoints points({{bigId, "198.18.0.2", (std::int64_t{1} << 32) + 4001, true}});
    ListTickets tickets({{(std::int64_t{5} << 32) + 11, 7, 1.0}});

    EXPECT_TRUE(link->PushTickets(true, points, tickets));

    EXPECT_THAT(Events(),
                ElementsAre("open 4001", "frame 11 to 198.18.0.2:4001", "pause 2000", "pause 2000", "close 4001"));
}

TEST_F(Push, DestructionClosesAnEndpointLeftOpen)
{
    ListPoints points({{1, "198.18.0.2", 4001, true}});
    ListTickets tickets({});
    endpoint->StayOpenOnPorts = {4001};
    ASSERT_TRUE(link->PushTickets(true, points, tickets));
    endpoint->StayOpenOnPorts.clear();
    ASSERT_TRUE(endpoint->IsOpen());

    link.reset();

    EXPECT_EQ(log.Events().back(), "close 4001");
}

} // namespace
} // namespace selvo::device

// The push over real UDP to simulated access points in the door hosts' network namespaces.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeliveryReport.h"
#include "DeviceError.h"
#include "DeviceLink.h"
#include "DeviceTestSupport.h"
#include "DeviceTexts.h"
#include "DoorHosts.h"
#include "PosixUdpEndpoint.h"

namespace selvo::device {
namespace {

using namespace std::chrono_literals;
using test::DoorHost;
using test::FreeUdpPort;
using test::ListPoints;
using test::ListTickets;
using test::SimFrame;
using test::SimulatedAccessPoint;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string Refused(UserWriteRefusedText);
const std::string Unclear(UnclearReplyText);

// Pauses of a tenth of the real ones: long enough for a reply over a veth pair, short enough for many cases.
class NetPush : public ::testing::Test
{
protected:
    void SetUp() override { SELVO_REQUIRE_DOOR_HOSTS(hosts, 5u); }

    std::vector<DoorHost> hosts;
    test::RecordingMessages messages;
    test::RecordingReplyBox box;
    test::RecordingSleeper sleeper{nullptr, 10};
    DeviceLink link{messages, box, sleeper};
};

TEST_F(NetPush, TwoPointsOnDifferentPortsGetTheirFramesInOrderFromTheirOwnPorts)
{
    const auto ports = test::FreeUdpPorts(2);
    SimulatedAccessPoint first(hosts[0], ports[0], "ok");
    SimulatedAccessPoint second(hosts[1], ports[1], "ok");
    ListPoints points({{1, hosts[0].DoorAddress, ports[0], true},
                       {2, hosts[2].DoorAddress, FreeUdpPort(), false},
                       {3, hosts[1].DoorAddress, ports[1], true}});
    ListTickets tickets({{11, 1, 1234567.0}, {12, 1, 3000000000.0}, {21, 2, 9.0}, {31, 3, std::nullopt}});

    EXPECT_TRUE(link.PushTickets(true, points, tickets));

    const auto atFirst = first.Frames(2);
    const auto atSecond = second.Frames(1);
    ASSERT_EQ(atFirst.size(), 2u) << first.ReadLog();
    ASSERT_EQ(atSecond.size(), 1u) << second.ReadLog();
    EXPECT_EQ(atFirst[0].Ticket, 11u);
    EXPECT_EQ(atFirst[0].Card, 1234567u);
    EXPECT_EQ(atFirst[1].Ticket, 12u);
    EXPECT_EQ(atFirst[1].Card, 3000000000u);
    EXPECT_EQ(atSecond[0].Ticket, 31u);
    EXPECT_EQ(atSecond[0].Card, 0u);
    for (const SimFrame& frame : atFirst) {
        EXPECT_EQ(frame.FromAddress, hosts[0].HostAddress);
        EXPECT_EQ(frame.FromPort, ports[0]);
    }
    EXPECT_EQ(atSecond[0].FromAddress, hosts[1].HostAddress);
    EXPECT_EQ(atSecond[0].FromPort, ports[1]);
    for (const auto& frame : {atFirst[0], atFirst[1], atSecond[0]}) {
        EXPECT_EQ(frame.Bytes, 76);
        EXPECT_TRUE(frame.CrcOk);
        EXPECT_EQ(frame.Command, "SE");
        EXPECT_EQ(frame.Status, "00");
        EXPECT_EQ(frame.Enable, 1);
    }
    EXPECT_LT(atFirst[1].Time, atSecond[0].Time);
    EXPECT_THAT(box.Texts(), IsEmpty());
    EXPECT_THAT(messages.Texts, IsEmpty());
    EXPECT_EQ(link.ReplyState.load(), ReplyEvaluated);
}

TEST_F(NetPush, WithoutAnAllAccessPointNothingIsSentAndNothingWaits)
{
    const auto port = FreeUdpPort();
    SimulatedAccessPoint point(hosts[0], port, "ok");
    ListPoints points({{1, hosts[0].DoorAddress, port, false}});
    ListTickets tickets({{11, 1, 1.0}});

    EXPECT_TRUE(link.PushTickets(true, points, tickets));

    EXPECT_THAT(sleeper.Pauses, IsEmpty());
    EXPECT_THAT(point.Frames(0, 300ms), IsEmpty());
    EXPECT_EQ(link.ReplyState.load(), ReplyNothingSent);
}

TEST_F(NetPush, PortTakenAtTheThirdOfFivePointsLeavesTheLastTwoUntouched)
{
    const auto ports = test::FreeUdpPorts(5);
    std::vector<std::unique_ptr<SimulatedAccessPoint>> sims;
    std::vector<test::PointRow> rows;
    std::vector<test::TicketRow> ticketRows;
    for (std::size_t i = 0; i < 5; ++i) {
        sims.push_back(std::make_unique<SimulatedAccessPoint>(hosts[i], ports[i], "ok"));
        rows.push_back({static_cast<std::int64_t>(i + 1), hosts[i].DoorAddress, ports[i], true});
        ticketRows.push_back({static_cast<std::int64_t>(10 * (i + 1)), static_cast<std::int64_t>(i + 1), 5.0});
    }
    PosixUdpEndpoint holder; // another program holding the third point's port
    holder.SetDefaultPort(ports[2]);
    holder.Open();
    ASSERT_TRUE(holder.IsOpen());
    ListPoints points(rows);
    ListTickets tickets(ticketRows);

    EXPECT_FALSE(link.PushTickets(true, points, tickets));

    EXPECT_THAT(messages.Texts, ElementsAre(std::string(ConnectionErrorText)));
    EXPECT_EQ(sims[0]->Frames(1).size(), 1u);
    EXPECT_EQ(sims[1]->Frames(1).size(), 1u);
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_THAT(sims[i]->Frames(0, 300ms), IsEmpty()) << "point " << i + 1;
    }
    EXPECT_FALSE(link.IdUDPServer1().IsOpen());
    EXPECT_EQ(link.DevicePort, ports[2]);
}

TEST_F(NetPush, FailedSendClosesTheEndpointSoTheNextPointsFramesLeaveFromItsOwnPort)
{
    const auto ports = test::FreeUdpPorts(2);
    SimulatedAccessPoint second(hosts[1], ports[1], "ok");
    ListPoints broken({{1, "", ports[0], true}});
    ListTickets tickets({{11, 1, 1.0}, {21, 2, 2.0}});

    EXPECT_THROW(link.PushTickets(true, broken, tickets), DeviceError);
    EXPECT_FALSE(link.IdUDPServer1().IsOpen());

    ListPoints next({{2, hosts[1].DoorAddress, ports[1], true}});
    EXPECT_TRUE(link.PushTickets(true, next, tickets));

    const auto frames = second.Frames(1);
    ASSERT_EQ(frames.size(), 1u) << second.ReadLog();
    EXPECT_EQ(frames[0].Ticket, 21u);
    EXPECT_EQ(frames[0].FromPort, ports[1]);
}

TEST_F(NetPush, OwnFrameComingBackFromTheToolsAddressIsUnclear)
{
    const auto port = FreeUdpPort();
    ListPoints points({{1, hosts[0].HostAddress, port, true}});
    ListTickets tickets({{11, 1, 1.0}});

    EXPECT_TRUE(link.PushTickets(true, points, tickets));

    EXPECT_THAT(box.Texts(), ElementsAre(Unclear));
    EXPECT_EQ(link.ReplyState.load(), ReplyEvaluated);
}

TEST_F(NetPush, ReplyArrivingAfterThePointWasClosedIsLost)
{
    const auto port = FreeUdpPort();
    // Both pauses here last 200 ms; the refusal comes 800 ms after the frame.
    SimulatedAccessPoint point(hosts[0], port, "no", 800);
    ListPoints points({{1, hosts[0].DoorAddress, port, true}});
    ListTickets tickets({{11, 1, 1.0}});

    EXPECT_TRUE(link.PushTickets(true, points, tickets));
    std::this_thread::sleep_for(1200ms);

    EXPECT_EQ(point.Frames(1).size(), 1u);
    EXPECT_THAT(box.Texts(), IsEmpty());
    EXPECT_EQ(link.ReplyState.load(), ReplyAwaited);
}

// What the listener makes of each kind of answer, two frames to one point.
struct AnswerCase
{
    const char* Name;
    const char* Mode;
    std::vector<std::string> Boxes;
    std::uint8_t FinalState;
};

class NetAnswers : public NetPush, public ::testing::WithParamInterface<AnswerCase>
{
};

TEST_P(NetAnswers, ReplyIsEvaluatedAndThePushCompletesAnyway)
{
    const auto ports = test::FreeUdpPorts(2);
    SimulatedAccessPoint point(hosts[0], ports[0], GetParam().Mode);
    SimulatedAccessPoint after(hosts[1], ports[1], "silent");
    ListPoints points({{1, hosts[0].DoorAddress, ports[0], true}, {2, hosts[1].DoorAddress, ports[1], true}});
    ListTickets tickets({{11, 1, 1.0}, {12, 1, 2.0}, {21, 2, 3.0}});

    EXPECT_TRUE(link.PushTickets(true, points, tickets));

    EXPECT_EQ(point.Frames(2).size(), 2u) << point.ReadLog();
    EXPECT_EQ(after.Frames(1).size(), 1u) << "the remaining point is still served";
    EXPECT_EQ(box.Texts(), GetParam().Boxes) << point.ReadLog();
    for (const auto& shown : box.Boxes()) {
        EXPECT_EQ(shown.Caption, "Error");
    }
    // The last point is silent, so its frame leaves the reply awaited.
    EXPECT_EQ(link.ReplyState.load(), ReplyAwaited);
    EXPECT_THAT(messages.Texts, IsEmpty());
}

const std::vector<std::string> NoBox;

INSTANTIATE_TEST_SUITE_P(Net, NetAnswers,
                         ::testing::Values(AnswerCase{"Ok", "ok", NoBox, 20},
                                           AnswerCase{"No", "no", {Refused, Refused}, 20},
                                           AnswerCase{"Silent", "silent", NoBox, 12},
                                           AnswerCase{"BadCrc", "bad-crc", NoBox, 12},
                                           AnswerCase{"BadCrcThenGood", "bad-crc,no", {Refused, Refused}, 20},
                                           AnswerCase{"Short", "short", NoBox, 12},
                                           AnswerCase{"HundredBytes", "long", {Refused, Refused}, 20},
                                           AnswerCase{"Unclear", "unclear", {Unclear, Unclear}, 20},
                                           AnswerCase{"TwiceOnlyFirstCounts", "twice", NoBox, 20}),
                         [](const auto& testCase) { return std::string(testCase.param.Name); });

// The answer's effect on ReplyState, one frame to one point.
TEST_P(NetAnswers, ReplyStateAfterTheAnswer)
{
    const auto port = FreeUdpPort();
    SimulatedAccessPoint point(hosts[0], port, GetParam().Mode);
    ListPoints points({{1, hosts[0].DoorAddress, port, true}});
    ListTickets tickets({{11, 1, 1.0}});

    EXPECT_TRUE(link.PushTickets(false, points, tickets));

    const auto frames = point.Frames(1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].Enable, 0);
    EXPECT_EQ(link.ReplyState.load(), GetParam().FinalState);
}

// The one test with the real pauses: 2000 ms after each frame, 2000 ms more before each point closes.
TEST_F(NetPush, RealPacingTwoSecondsPerFrameAndPerPoint)
{
    const auto ports = test::FreeUdpPorts(2);
    SimulatedAccessPoint first(hosts[0], ports[0], "ok");
    SimulatedAccessPoint second(hosts[1], ports[1], "ok");
    ListPoints points({{1, hosts[0].DoorAddress, ports[0], true}, {2, hosts[1].DoorAddress, ports[1], true}});
    ListTickets tickets({{11, 1, 1.0}, {12, 1, 2.0}, {21, 2, 3.0}});
    ThreadSleeper realSleep;
    DeviceLink paced(messages, box, realSleep);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(paced.PushTickets(true, points, tickets));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const auto atFirst = first.Frames(2);
    const auto atSecond = second.Frames(1);
    ASSERT_EQ(atFirst.size(), 2u);
    ASSERT_EQ(atSecond.size(), 1u);
    EXPECT_NEAR(atFirst[1].Time - atFirst[0].Time, 2.0, 0.050);
    // 2000 ms after the last frame, 2000 ms before closing, then the next point's opening.
    EXPECT_NEAR(atSecond[0].Time - atFirst[1].Time, 4.0, 0.050);
    // 2 s x (3 frames + 2 points).
    EXPECT_GE(took, 10.0);
    EXPECT_LT(took, 10.3);
    EXPECT_THAT(box.Texts(), IsEmpty());
}

// The delivery report over real UDP: the listener records on the receiving thread, the report is read
// after that thread has ended, and the boxes stay what they were.
TEST_F(NetPush, DeliveryReportGivesFiveDoorsAnsweringInTheirOwnWaysTheirOwnStates)
{
    const std::vector<std::string> modes = {"ok", "no", "unclear", "silent", "twice"};
    const auto ports = test::FreeUdpPorts(modes.size());
    std::vector<std::unique_ptr<SimulatedAccessPoint>> sims;
    std::vector<test::PointRow> rows;
    std::vector<test::TicketRow> ticketRows;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const auto id = static_cast<std::int64_t>(i + 1);
        sims.push_back(std::make_unique<SimulatedAccessPoint>(hosts[i], ports[i], modes[i]));
        rows.push_back({id, hosts[i].DoorAddress, ports[i], true});
        ticketRows.push_back({10 * id, id, 5.0});
    }
    ListPoints points(rows);
    points.Names = modes;
    ListTickets tickets(ticketRows);

    EXPECT_TRUE(link.PushTickets(false, points, tickets));

    using State = DeliveryState;
    EXPECT_EQ(link.LastDelivery(), DeliveryReport({{"ok", State::Confirmed},
                                                   {"no", State::Refused},
                                                   {"unclear", State::Unclear},
                                                   {"silent", State::NoReply},
                                                   {"twice", State::Confirmed}}));
    // The listener's boxes are what they always were.
    EXPECT_EQ(box.Texts(),
              std::vector<std::string>({std::string(UserWriteRefusedText), std::string(UnclearReplyText)}));
    for (std::size_t i = 0; i < sims.size(); ++i) {
        EXPECT_EQ(sims[i]->Frames(1).size(), 1u) << modes[i];
    }
}

} // namespace
} // namespace selvo::device

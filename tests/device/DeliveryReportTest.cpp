// The delivery report of a push: what each all-access point made of the card, as the push and the
// listener saw it, and the line the porter reads.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeliveryReport.h"
#include "DeviceError.h"
#include "DeviceLink.h"
#include "DeviceTestSupport.h"
#include "DeviceTexts.h"

namespace selvo::device {
namespace {

using test::ListPoints;
using test::ListTickets;
using test::PointRow;
using test::RecordingMessages;
using test::RecordingReplyBox;
using test::RecordingSleeper;
using test::TicketRow;
using ::testing::ElementsAre;

using State = DeliveryState;

std::vector<std::uint8_t> Reply(char s0, char s1)
{
    DeviceFrame frame = BuildDeviceFrame('S', 'E', UserWritePayload(5, 6, true));
    frame[StatusOffset] = static_cast<std::uint8_t>(s0);
    frame[StatusOffset + 1] = static_cast<std::uint8_t>(s1);
    StoreCrc(frame);
    return {frame.begin(), frame.end()};
}

// Datagrams of a door's answer, by the simulated access point's mode names.
std::vector<std::vector<std::uint8_t>> Answer(const std::string& mode)
{
    if (mode == "ok") {
        return {Reply('O', 'K')};
    }
    if (mode == "no") {
        return {Reply('N', 'O')};
    }
    if (mode == "unclear") {
        return {Reply('o', 'k')};
    }
    if (mode == "twice") {
        return {Reply('O', 'K'), Reply('N', 'O')};
    }
    if (mode == "bad-crc") {
        auto damaged = Reply('O', 'K');
        damaged[ChecksumOffset] ^= 0x01;
        return {damaged};
    }
    return {}; // silent
}

// An endpoint without sockets whose doors answer each frame at once, in the sending thread (so the
// listener runs in order with the push), one mode per frame for each port, or greet an opening.
class AnsweringEndpoint final : public UdpEndpoint
{
public:
    void SetDefaultPort(std::int32_t port) override { m_port = port; }
    void SetOnUDPRead(DatagramHandler handler) override { m_handler = std::move(handler); }
    void SetBroadcastEnabled(bool) override {}
    void Open() override
    {
        if (FailOpenOnPorts.contains(m_port)) {
            return;
        }
        m_open = true;
        m_openPort = m_port;
        for (const auto& datagram : Answer(GreetOnOpen[m_openPort])) {
            m_handler(datagram);
        }
    }
    bool IsOpen() const override { return m_open; }
    void Send(const std::string& host, std::int32_t, std::span<const std::uint8_t>) override
    {
        if (host.empty()) {
            throw DeviceError("Cannot resolve host: empty host name");
        }
        std::vector<std::string>& modes = Modes[m_openPort];
        const std::string mode = modes.empty() ? "silent" : modes.front();
        if (!modes.empty()) {
            modes.erase(modes.begin());
        }
        for (const auto& datagram : Answer(mode)) {
            m_handler(datagram);
        }
    }
    void Close() override { m_open = false; }

    std::map<std::int32_t, std::vector<std::string>> Modes;
    std::map<std::int32_t, std::string> GreetOnOpen;
    std::set<std::int32_t> FailOpenOnPorts;

private:
    DatagramHandler m_handler;
    std::int32_t m_port = 0;
    std::int32_t m_openPort = 0;
    bool m_open = false;
};

class RecordingWatcher final : public DeliveryWatcher
{
public:
    void PushBegins() override { Events.push_back("begins"); }
    void PushEnded(const DeliveryReport& report) override
    {
        Events.push_back("ended");
        Reports.push_back(report);
    }
    std::vector<std::string> Events;
    std::vector<DeliveryReport> Reports;
};

struct DoorCase
{
    const char* Name;
    // Per point (ports 4001, 4002, ...): the answer to each of its frames.
    std::vector<std::vector<std::string>> Answers;
    std::vector<TicketRow> Tickets;
    std::vector<State> Expected;
    std::string Outcome = "true"; // what PushTickets gives: "true", "false" or "throws"
    std::set<std::int32_t> FailOpenOnPorts = {};
    std::map<std::int32_t, std::string> GreetOnOpen = {};
    std::vector<std::string> PointHosts = {};
};

// The link on an answering endpoint, its report watched.
class Delivery : public ::testing::Test
{
protected:
    Delivery()
    {
        auto owned = std::make_unique<AnsweringEndpoint>();
        endpoint = owned.get();
        link = std::make_unique<DeviceLink>(messages, box, sleeper, std::move(owned));
        link->SetDeliveryWatcher(&watcher);
    }

    RecordingMessages messages;
    RecordingReplyBox box;
    RecordingSleeper sleeper;
    RecordingWatcher watcher;
    AnsweringEndpoint* endpoint = nullptr;
    std::unique_ptr<DeviceLink> link;
};

class DeliveryTable : public Delivery, public ::testing::WithParamInterface<DoorCase>
{
};

TEST_P(DeliveryTable, EachPointGetsTheStateItsFramesAndRepliesGive)
{
    const DoorCase& c = GetParam();

    std::vector<PointRow> rows;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.Answers.size(); ++i) {
        const auto port = static_cast<std::int32_t>(4001 + i);
        const std::string host = i < c.PointHosts.size() ? c.PointHosts[i] : "198.18.0." + std::to_string(2 + 4 * i);
        rows.push_back({static_cast<std::int64_t>(i + 1), host, port, true});
        names.push_back("Vrata " + std::to_string(i + 1));
        endpoint->Modes[port] = c.Answers[i];
    }
    // A point without all-access among them is no part of the report.
    rows.insert(rows.begin() + 1, PointRow{9, "198.18.0.30", 4009, false});
    names.insert(names.begin() + 1, "Magacin");
    endpoint->FailOpenOnPorts = c.FailOpenOnPorts;
    endpoint->GreetOnOpen = c.GreetOnOpen;
    ListPoints points(rows);
    points.Names = names;
    ListTickets tickets(c.Tickets);

    if (c.Outcome == "throws") {
        EXPECT_THROW(link->PushTickets(true, points, tickets), DeviceError);
    } else {
        EXPECT_EQ(link->PushTickets(true, points, tickets), c.Outcome == "true");
    }

    std::vector<State> states;
    for (const PointDelivery& point : link->LastDelivery()) {
        states.push_back(point.State);
    }
    EXPECT_EQ(states, c.Expected);
    ASSERT_EQ(link->LastDelivery().size(), c.Answers.size());
    for (std::size_t i = 0; i < c.Answers.size(); ++i) {
        EXPECT_EQ(link->LastDelivery()[i].Name, "Vrata " + std::to_string(i + 1))
            << "in the push's order, all-access only";
    }
    EXPECT_THAT(watcher.Events, ElementsAre("begins", "ended"));
    ASSERT_EQ(watcher.Reports.size(), 1u);
    EXPECT_EQ(watcher.Reports[0], link->LastDelivery());
}

const std::vector<TicketRow> OneEach = {{11, 1, 1.0}, {21, 2, 2.0}, {31, 3, 3.0}};

INSTANTIATE_TEST_SUITE_P(
    Doors, DeliveryTable,
    ::testing::Values(
        DoorCase{"Ok", {{"ok"}}, {{11, 1, 1.0}}, {State::Confirmed}},
        DoorCase{"No", {{"no"}}, {{11, 1, 1.0}}, {State::Refused}},
        DoorCase{"Unclear", {{"unclear"}}, {{11, 1, 1.0}}, {State::Unclear}},
        DoorCase{"Silent", {{"silent"}}, {{11, 1, 1.0}}, {State::NoReply}},
        DoorCase{"DamagedReplyCountsAsNone", {{"bad-crc"}}, {{11, 1, 1.0}}, {State::NoReply}},
        // Only the first of two replies to one frame is evaluated.
        DoorCase{"TwiceOkThenNo", {{"twice"}}, {{11, 1, 1.0}}, {State::Confirmed}},
        DoorCase{"OneOfTwoFramesUnanswered", {{"ok", "silent"}}, {{11, 1, 1.0}, {12, 1, 1.0}}, {State::NoReply}},
        DoorCase{"RefusalOutweighsTheRest",
                 {{"unclear", "no", "silent"}},
                 {{11, 1, 1.0}, {12, 1, 1.0}, {13, 1, 1.0}},
                 {State::Refused}},
        DoorCase{"UnclearOutweighsSilence", {{"silent", "unclear"}}, {{11, 1, 1.0}, {12, 1, 1.0}}, {State::Unclear}},
        DoorCase{"NoTicketForTheSecondDoor", {{"ok"}, {"ok"}}, {{11, 1, 1.0}}, {State::Confirmed, State::NoTicket}},
        DoorCase{"PortTakenAtTheSecondOfThree",
                 {{"ok"}, {"ok"}, {"ok"}},
                 OneEach,
                 {State::Confirmed, State::Unreachable, State::NotSent},
                 "false",
                 {4002}},
        DoorCase{"SendErrorAtTheSecondOfThree",
                 {{"ok"}, {"ok"}, {"ok"}},
                 OneEach,
                 {State::Confirmed, State::Unreachable, State::NotSent},
                 "throws",
                 {},
                 {},
                 {"198.18.0.2", ""}},
        // A reply that reaches the second door's endpoint before its first frame counts, by the listener's
        // rule, for the first door's frame, whose endpoint had closed: it answers neither door.
        DoorCase{"ReplyAfterItsEndpointClosedAnswersNothing",
                 {{"silent"}, {"silent"}},
                 {{11, 1, 1.0}, {21, 2, 2.0}},
                 {State::NoReply, State::NoReply},
                 "true",
                 {},
                 {{4002, "ok"}}}),
    [](const ::testing::TestParamInfo<DoorCase>& param) { return std::string(param.param.Name); });

// The listener's boxes and the push's result and frames are those of a push without the report.
TEST_F(Delivery, ReportChangesNeitherBoxesNorResult)
{
    endpoint->Modes = {{4001, {"no", "unclear", "twice"}}};
    ListPoints points({{1, "198.18.0.2", 4001, true}});
    ListTickets tickets({{11, 1, 1.0}, {12, 1, 1.0}, {13, 1, 1.0}});

    EXPECT_TRUE(link->PushTickets(true, points, tickets));

    EXPECT_EQ(box.Texts(),
              std::vector<std::string>({std::string(UserWriteRefusedText), std::string(UnclearReplyText)}));
    EXPECT_TRUE(messages.Texts.empty());
    EXPECT_EQ(sleeper.Pauses.size(), 4u);
    EXPECT_EQ(link->ReplyState.load(), ReplyEvaluated);
}

// Replies evaluated before a push (a listener called with nothing sent, or a stray frame) are not in it.
TEST_F(Delivery, ReplyFromBeforeThePushIsNotInIt)
{
    endpoint->Modes = {{4001, {"silent"}}};
    link->ReplyState = ReplyAwaited;
    link->IdUDPServer1UDPRead(Reply('O', 'K'));
    ListPoints points({{1, "198.18.0.2", 4001, true}});
    ListTickets tickets({{11, 1, 1.0}});

    EXPECT_TRUE(link->PushTickets(true, points, tickets));
    ASSERT_EQ(link->LastDelivery().size(), 1u);
    EXPECT_EQ(link->LastDelivery()[0].State, State::NoReply);

    // The next push's silent door is not confirmed by this push's late reply either.
    link->IdUDPServer1UDPRead(Reply('O', 'K'));
    ListPoints again({{1, "198.18.0.2", 4001, true}});
    EXPECT_TRUE(link->PushTickets(true, again, tickets));
    EXPECT_EQ(link->LastDelivery()[0].State, State::NoReply);
}

TEST_F(Delivery, WithoutAllAccessPointsTheReportIsEmpty)
{
    ListPoints points({{1, "198.18.0.2", 4001, false}});
    ListTickets tickets({{11, 1, 1.0}});

    EXPECT_TRUE(link->PushTickets(true, points, tickets));

    EXPECT_TRUE(link->LastDelivery().empty());
    EXPECT_THAT(watcher.Events, ElementsAre("begins", "ended"));
}

// The line as the porter reads it, Windows-1250 bytes (0xF0 d with stroke, 0x9E z with caron).
TEST(DeliveryText, NamesEveryPointWithItsStateInOrder)
{
    const DeliveryReport report = {{"Ulaz", State::Confirmed},
                                   {"Gara\x9e"
                                    "a",
                                    State::Refused},
                                   {"Kapija", State::Unclear},
                                   {"Magacin", State::NoReply},
                                   {"Sever", State::NoTicket},
                                   {"Jug", State::Unreachable},
                                   {"Upravna zgrada", State::NotSent}};
    EXPECT_EQ(DeliveryReportText(report), "Ure\xf0"
                                          "aji: Ulaz: potvr\xf0"
                                          "eno; Gara\x9e"
                                          "a: odbijeno; Kapija: nejasan odgovor; Magacin: bez odgovora; Sever: "
                                          "nema tiketa; Jug: nije dostupan; Upravna zgrada: nije poslato");
    EXPECT_EQ(DeliveryReportText({}), "Ure\xf0"
                                      "aji: ");
}

TEST(DeliveryText, OnlyConfirmationsAndMissingTicketsNeedNoAttention)
{
    EXPECT_FALSE(DeliveryWantsAttention({}));
    EXPECT_FALSE(DeliveryWantsAttention({{"A", State::Confirmed}, {"B", State::NoTicket}}));
    for (const State state : {State::Refused, State::Unclear, State::NoReply, State::Unreachable, State::NotSent}) {
        EXPECT_TRUE(DeliveryWantsAttention({{"A", State::Confirmed}, {"B", state}})) << DeliveryStateText(state);
    }
}

} // namespace
} // namespace selvo::device

// Turning whatever arrives into requests, options and modem answers.
#include <gtest/gtest.h>

#include "modem.h"
#include "options.h"
#include "radiosim_test_support.h"
#include "request_parser.h"

namespace radiosim {
namespace {

using test::FromHex;

std::vector<ParseEvent> FeedAll(RequestParser& p, const Bytes& bytes) {
    std::vector<ParseEvent> out;
    p.feed(bytes, out);
    return out;
}

TEST(RequestParser, PartialRequestWaitsForTheRest) {
    RequestParser p;
    const Bytes req = FromHex("F8 FF FF 01 00 0D 80 74");
    EXPECT_TRUE(FeedAll(p, Bytes(req.begin(), req.begin() + 3)).empty());
    EXPECT_EQ(p.waiting(), 3u);
    const auto events = FeedAll(p, Bytes(req.begin() + 3, req.end()));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, ParseEvent::kRequest);
    EXPECT_TRUE(events[0].request.byNumber());
    EXPECT_EQ(events[0].request.number(), 1);
    EXPECT_EQ(events[0].request.address(), 0x0D80);
}

TEST(RequestParser, KeepAliveStrayBytesAndBadXorAreToldApart) {
    RequestParser p;
    Bytes stream = FromHex("0D 00 41 42");
    const Bytes bad = FromHex("F8 12 34 56 00 0D 80 00");
    const Bytes good = EncodeRequest(kWriteRequest, 0x123456, 9, 9);
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), good.begin(), good.end());
    const auto events = FeedAll(p, stream);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, ParseEvent::kKeepAlive);
    EXPECT_EQ(events[1].kind, ParseEvent::kSkipped);
    EXPECT_EQ(events[1].count, 3u);
    EXPECT_EQ(events[2].kind, ParseEvent::kBadXor);
    EXPECT_EQ(events[3].kind, ParseEvent::kRequest);
    EXPECT_EQ(events[3].request.serial(), 0x123456u);
    EXPECT_EQ(events[3].request.value(), 9);
}

TEST(RequestParser, AStrayTypeByteCostsOnlyItselfNotTheRequestAfterIt) {
    RequestParser p;
    Bytes stream = FromHex("FA");
    const Bytes good = EncodeRequest(kReadRequest, 0x2468AC, 0x04, 0x0D);
    stream.insert(stream.end(), good.begin(), good.end());
    const auto events = FeedAll(p, stream);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, ParseEvent::kBadXor);
    EXPECT_EQ(events[1].kind, ParseEvent::kRequest);
    EXPECT_EQ(events[1].request.serial(), 0x2468ACu);
}

TEST(RequestParser, ACarriageReturnInsideARequestIsData) {
    RequestParser p;
    const Bytes req = EncodeRequest(kReadRequest, 0x0D0D0D, 0x0D, 0x80);
    const auto events = FeedAll(p, req);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, ParseEvent::kRequest);
}

TEST(Options, PasswordsAndRepeatableOptionsAreRead) {
    Options o;
    std::string error;
    ASSERT_EQ(ParseOptions({"--udp=5001", "--password", "SECRET", "--silence", "2415000", "--silence", "9120000",
                            "--busy-for", "5"},
                           o, error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(o.udp->host, "127.0.0.1");
    EXPECT_EQ(o.udp->port, 5001);
    EXPECT_EQ(o.passwordBytes(), "SECR");
    EXPECT_EQ(o.faults.silenced, (std::vector<uint32_t>{2415000, 9120000}));
    EXPECT_EQ(o.faults.busyAtSeconds, 0) << "busy from the start unless told otherwise";
    Options none;
    ASSERT_EQ(ParseOptions({"--pty"}, none, error), ParseResult::Run);
    EXPECT_EQ(none.passwordBytes(), std::string(4, '\xFF'));
}

TEST(Options, BadInputIsRefusedWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--tcp"},
        {"--tcp", "localhost:80"},
        {"--tcp", "127.0.0.1:70000"},
        {"--pty", "--radios", "2048"},
        {"--pty", "--radios", "0"},
        {"--pty", "--radios", "12x"},
        {"--pty", "--drop", "150"},
        {"--pty", "--repeaters", "20"},
        {"--pty", "--frobnicate"},
        {"--pty=yes"},
        {"--pty", "--chain", "8"},
        {"--pty", "--chain", "7", "--radios", "7"},
        {"--pty", "--chain", "5", "--repeaters", "4"},
        {"--pty", "--udp-other-port"},
        {"--pty", "--withhold-hops-count", "8"},
        {"--pty", "--withhold-hops-count", "0"},
        {"--pty", "--flood", "-1"},
        {"--pty", "--noise-for", "0"},
    };
    for (const auto& args : bad) {
        Options o;
        std::string error;
        EXPECT_EQ(ParseOptions(args, o, error), ParseResult::Error) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
    Options o;
    std::string error;
    EXPECT_EQ(ParseOptions({"--pty", "--help"}, o, error), ParseResult::Help);
}

TEST(HayesModem, EchoesTheCommandThenAnswersByNumber) {
    HayesModem modem(ModemNumbers{{"5551234"}, {"5550000"}, {"5559999"}, {"5550001"}});
    const std::string cmd = "ATDT555-1234\r";
    EXPECT_EQ(modem.feed(Bytes(cmd.begin(), cmd.end())), cmd);
    ASSERT_TRUE(modem.dialPending());
    EXPECT_EQ(modem.dialPending()->number, "5551234");
    EXPECT_FALSE(modem.online());
    EXPECT_EQ(modem.answer(), "\r\nCONNECT 115200\r\n");
    EXPECT_TRUE(modem.online());
    modem.hangup();
    EXPECT_FALSE(modem.online());

    EXPECT_EQ(*modem.classify("5550000").answer, "BUSY");
    EXPECT_EQ(*modem.classify("5559999").answer, "NO DIALTONE");
    EXPECT_FALSE(modem.classify("5550001").answer);
    EXPECT_EQ(*modem.classify("1234").answer, "BUSY") << "numbers not up are busy";

    const std::string at = "AT\r";
    EXPECT_EQ(modem.feed(Bytes(at.begin(), at.end())), "AT\r\r\nOK\r\n");
}

TEST(HayesModem, EveryNumberIsUpWhenNoneIsListedAndCommandsMaySpanReads) {
    HayesModem modem(ModemNumbers{{}, {"911"}, {}, {}});
    EXPECT_FALSE(modem.classify("911").connects);
    modem.feed(FromHex("41 54 44"));  // "ATD"
    EXPECT_FALSE(modem.dialPending());
    modem.feed(FromHex("54 34 32 0D"));  // "T42\r"
    ASSERT_TRUE(modem.dialPending());
    EXPECT_EQ(modem.dialPending()->number, "42");
    EXPECT_TRUE(modem.dialPending()->connects);
}

}  // namespace
}  // namespace radiosim

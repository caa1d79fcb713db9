#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/decode_json.h"
#include "support/frames.h"

namespace {

std::vector<uint8_t> Capture() {
    auto path = std::filesystem::path(__FILE__).parent_path() / ".." / "data" / "capture.bin";
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// capture.txt lists what capture.bin holds and where.
TEST(DecodeCaptureTest, EveryFrameAndErrorOfTheCaptureInOrder) {
    auto lines = Lines(DecodeCaptureToJson(Capture(), false));
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[0],
              R"({"offset":0,"type":"F0","length":14,"checksum":"ok","serial":5902900,"slot":3,"dataCount":258,)"
              R"("busy":true,"noise":21,"temperatureRaw":128,"voltageRaw":192,"revision":21})");
    EXPECT_EQ(lines[1], R"({"offset":14,"error":1,"value":65})");
    EXPECT_EQ(lines[2], R"({"offset":15,"type":"F2","length":8,"checksum":"ok","serial":5902900,"address":3456,"value":2})");
    EXPECT_EQ(lines[4],
              R"({"offset":35,"type":"F4","length":12,"checksum":"ok","serial":5366336,"sequence":34,)"
              R"("masterBytes":5,"slaveBytes":6,"noise":17,"distanceRaw":10417})");
    EXPECT_EQ(lines[5],
              R"({"offset":47,"type":"F5","length":12,"checksum":"ok","serial":5000001,"dataBytes":256,"bad":2,)"
              R"("good":50,"noise":18,"distanceRaw":0})");
    EXPECT_EQ(lines[8],
              R"({"offset":107,"type":"F8","length":33,"checksum":"ok","address":3456,"serial":5000003,)"
              R"("linkSignal":54,"hopCount":2,"good":200,"signal":42,"noise":15,"lineStatus":179,)"
              R"("temperatureRaw":128,"voltageRaw":154,"freq":64,"value":3,"revision":33,"distanceRaw":10417,)"
              R"("hops":[{"serial":3000000,"signal":64,"distanceRaw":10417},)"
              R"({"serial":3000001,"signal":56,"distanceRaw":20833}]})");
    // The hop with serial 1999999 follows its frame as error 4.
    EXPECT_EQ(lines[12].substr(0, 46), R"({"offset":287,"type":"F8","length":51,"checksu)");
    EXPECT_EQ(lines[13], R"({"offset":287,"error":4,"value":19})");
    EXPECT_EQ(lines[15],
              R"({"offset":359,"type":"FB","length":27,"checksum":"ok","address":3456,"hex":"FB 0D 80 46 4C 4B 41 )"
              R"(01 C8 3A 1F B3 00 80 9A 40 00 21 2D C6 C0 50 15 00 16 00 2A"})");
    EXPECT_NE(lines[16].find(R"("offset":386,"type":"F8","length":21,"checksum":"bad")"), std::string::npos);
    EXPECT_EQ(lines[17], R"({"offset":386,"error":22,"value":90})");
    EXPECT_EQ(lines[20], R"({"offset":415,"error":32,"value":255})");
    EXPECT_EQ(lines[22], R"({"offset":427,"error":27,"value":9})");
    EXPECT_EQ(lines[23].substr(0, 47), R"({"offset":448,"type":"F0","length":14,"checksum)");
}

TEST(DecodeCaptureTest, TableLineSummarisesTheState) {
    auto lines = Lines(DecodeCaptureToJson(Capture(), true));
    ASSERT_EQ(lines.size(), 25u);
    const std::string& table = lines.back();
    const std::string head =
        R"({"master":{"serialNumber":5902900,"noiseLevel":16,"temperatureRaw":129,"voltageRaw":193,)"
        R"("revision":21,"dataBytesTotal":289},"radioCount":12,"radios":[{"index":0,)";
    EXPECT_EQ(table.substr(0, head.size()), head);
    EXPECT_NE(table.find(R"({"index":1,"serialNumber":5000001,"name":"NewRadio","repeaterNumber":0,"pollScore":10000,)"
                         R"("replyCount":3,"dataBytes":276,)"),
              std::string::npos);
    EXPECT_NE(table.find(R"("hopRepeater":[1,0,2,3],"hopSignalAvg":[16384,0,12800,12544],"historyCount":1,)"
                         R"("eepromValue":{"0":3}})"),
              std::string::npos);
    EXPECT_NE(table.find(R"("eepromValue":{"0":3,"3":19})"), std::string::npos);
    const std::string tail = R"(],"errors":{"last":27,"value":9,"count":5}})";
    ASSERT_GT(table.size(), tail.size());
    EXPECT_EQ(table.substr(table.size() - tail.size()), tail);
}

TEST(DecodeCaptureTest, TruncatedHopsAtTheEndTimeOutAndTheRestIsStrayBytes) {
    // A one-hop reply cut after 23 of its 27 bytes: no wait in the tool, error 22
    // with 0xFF, then the two bytes left are unknown types.
    auto reply = FillXor(HexFrame("F8 0D 80 46 4C 4B 41 01 C8 3A 1F B3 00 80 9A 40 00 21 2D C6 C0 50 15 00 16 00 00"));
    reply.resize(23);
    auto lines = Lines(DecodeCaptureToJson(reply, false));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find(R"("offset":0,"type":"F8","length":21,"checksum":"bad")"), std::string::npos);
    EXPECT_EQ(lines[1], R"({"offset":0,"error":22,"value":255})");
    EXPECT_EQ(lines[2], R"({"offset":21,"error":1,"value":80})");
    EXPECT_EQ(lines[3], R"({"offset":22,"error":1,"value":21})");
}

TEST(DecodeCaptureTest, EmptyInputGivesAnEmptyTable) {
    EXPECT_EQ(DecodeCaptureToJson({}, false), "");
    auto lines = Lines(DecodeCaptureToJson({}, true));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(R"("radioCount":0,"radios":[{"index":0,"serialNumber":0,"name":"NewRadio")"),
              std::string::npos);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sms/DataCoding.h"
#include "sms/PduDecoder.h"
#include "sms/PduFields.h"

namespace pelvaro {
namespace {

std::vector<std::uint8_t> Octets(const std::string& hex) {
    std::vector<std::uint8_t> octets(hex.size() / 2);
    octets.resize(PduDecoder::HexToOctets(hex, octets.data(), octets.size()));
    return octets;
}

TEST(PduFields, ReadsWhatTellsOneMessageFromAnother) {
    // A DELIVER of class 1 with TP-PID 0x41 (replace type 1), part 2 of 3 of the message 0x1234.
    const std::vector<std::uint8_t> octets =
        Octets("06912143658709440B912143658709F141F1622190013034000A06080412340302C834");
    PduFields fields;
    ASSERT_TRUE(ReadPduFields(octets.data(), octets.size(), fields));
    EXPECT_EQ(fields.type, MessageType::Deliver);
    EXPECT_EQ(fields.centre.text.View(), u"+1234567890");
    EXPECT_EQ(fields.party.type, 0x91);
    EXPECT_EQ(fields.party.text.View(), u"+12345678901");
    EXPECT_EQ(fields.protocolId, 0x41);
    EXPECT_EQ(fields.coding.messageClass, 1);
    EXPECT_EQ(fields.timestamp, (Timestamp{0x62, 0x21, 0x90, 0x01, 0x30, 0x34, 0x00}));
    EXPECT_EQ(fields.header.concatenation.reference, 0x1234);
    EXPECT_TRUE(fields.header.concatenation.wideReference);
    EXPECT_EQ(fields.header.concatenation.count, 3);
    EXPECT_EQ(fields.header.concatenation.sequence, 2);
    EXPECT_EQ(fields.userData.length, 10);
    EXPECT_EQ(fields.userData.headerOctets, 7u);
}

TEST(PduFields, ReadsAStatusReportAndForgetsTheMessageBefore) {
    const std::vector<std::uint8_t> deliver =
        Octets("06912143658709440B912143658709F141F1622190013034000A06080412340302C834");
    const std::vector<std::uint8_t> report =
        Octets("0006D60B911326880736F4111011719551401110117195714041");
    PduFields fields;
    ReadPduFields(deliver.data(), deliver.size(), fields);
    ASSERT_TRUE(ReadPduFields(report.data(), report.size(), fields));
    EXPECT_EQ(fields.type, MessageType::StatusReport);
    EXPECT_TRUE(fields.centre.text.Empty());
    EXPECT_EQ(fields.messageReference, 0xD6);
    EXPECT_EQ(fields.party.text.View(), u"+31628870634");
    EXPECT_EQ(fields.dischargeTime, (Timestamp{0x11, 0x10, 0x11, 0x71, 0x95, 0x71, 0x40}));
    EXPECT_EQ(fields.status, 0x41);
    EXPECT_EQ(fields.header.concatenation.count, 0);
    EXPECT_EQ(fields.protocolId, 0);
}

TEST(DataCoding, ReadsEveryGroup) {
    const struct {
        std::uint8_t dcs;
        Coding coding;
        bool compressed;
        int messageClass;
        MessageWaiting waiting;
    } cases[] = {
        {0x00, Coding::Gsm7, false, -1, MessageWaiting::None},
        {0x08, Coding::Ucs2, false, -1, MessageWaiting::None},
        {0x16, Coding::EightBit, false, 2, MessageWaiting::None},
        {0x2C, Coding::Gsm7, true, -1, MessageWaiting::None},   // reserved alphabet, compressed
        {0x48, Coding::Ucs2, false, -1, MessageWaiting::None},  // automatic deletion
        {0x9A, Coding::Gsm7, false, -1, MessageWaiting::None},  // reserved group
        {0xC8, Coding::Gsm7, false, -1, MessageWaiting::Discard},
        {0xD0, Coding::Gsm7, false, -1, MessageWaiting::Store},
        {0xE0, Coding::Ucs2, false, -1, MessageWaiting::Store},
        {0xF0, Coding::Gsm7, false, 0, MessageWaiting::None},
        {0xF7, Coding::EightBit, false, 3, MessageWaiting::None},
    };
    for (const auto& c : cases) {
        const DataCoding read = ReadDataCoding(c.dcs);
        EXPECT_EQ(read.coding, c.coding) << int{c.dcs};
        EXPECT_EQ(read.compressed, c.compressed) << int{c.dcs};
        EXPECT_EQ(read.messageClass, c.messageClass) << int{c.dcs};
        EXPECT_EQ(read.waiting, c.waiting) << int{c.dcs};
    }
}

TEST(SecondsSince2000, OrdersTimeStampsFromAnyZone) {
    const struct {
        Timestamp stamp;
        std::int64_t seconds;
    } cases[] = {
        {{0x00, 0x10, 0x10, 0x00, 0x00, 0x00, 0x00}, 0},                 // 2000-01-01 00:00 UTC
        {{0x42, 0x20, 0x92, 0x31, 0x25, 0x00, 0x00}, 762529920},         // 2024-02-29 13:52
        {{0x42, 0x20, 0x92, 0x31, 0x25, 0x00, 0x80}, 762529920 - 7200},  // the same at +02:00
        {{0x42, 0x20, 0x92, 0x31, 0x25, 0x00, 0x88}, 762529920 + 7200},  // and at -02:00
        {{0x99, 0x21, 0x13, 0x32, 0x95, 0x95, 0x00}, -1},                // 1999-12-31 23:59:59
    };
    for (const auto& c : cases) EXPECT_EQ(SecondsSince2000(c.stamp), c.seconds);
}

}  // namespace
}  // namespace pelvaro

#include <gtest/gtest.h>

#include "module/RCBusRecords.h"
#include "support/BusCodePrinter.h"
#include "support/TestData.h"

using namespace RC;
using KivoTest::FromHex;

namespace {

template <class Record, class Fill>
std::vector<uint8_t> Encoded(Fill fill)
{
    Record record;
    record.taskId = L"T";
    fill(record);
    return RCEncodeRecord(record);
}

} // namespace

// Every record as peers read it, written out from the wire tables: each field
// has its own value, so a field out of order changes the bytes. The TaskId is
// "T" (01000000 5400) throughout.
TEST(RCSafeDataStream, EveryRecordHasTheWireLayoutPeersRead)
{
    // clang-format off
    const struct {
        const char* record;
        std::vector<uint8_t> encoded;
        const char* expected;
    } rows[] = {
        {"setup", Encoded<TaskSetupRequest>([](auto& r) { r.scanType = ScanType{3}; r.customPaths = {L"a", L"b"}; }),
         "01000000 5400 03000000 02000000 01000000 6100 01000000 6200"},
        {"command", Encoded<TaskCommandRequest>([](auto& r) { r.command = Command{4}; }), "01000000 5400 04000000"},
        {"operate", Encoded<TaskOperateRequest>([](auto& r) { r.operation = Operation{1}; r.queryIds = {7, 8}; }),
         "01000000 5400 01000000 02000000 07000000 08000000"},
        {"cancel operate", Encoded<TaskCancelOperateRequest>([](auto&) {}), "01000000 5400"},
        {"setup done", Encoded<TaskSetupDoneEvent>([](auto& r) { r.items = {{1, L"a"}, {26, L"b"}}; }),
         "01000000 5400 02000000 01000000 01000000 6100 1A000000 01000000 6200"},
        {"command result", Encoded<TaskCommandResultEvent>([](auto& r) { r.command = Command{2}; r.result = true; }),
         "01000000 5400 02000000 01"},
        {"scan state", Encoded<ScanStateEvent>([](auto& r) {
             r.state = ScanState{1}; r.counts.filesFound = 2; r.counts.level3Found = 3; r.counts.level2Found = 4; }),
         "01000000 5400 01000000 02000000 03000000 04000000"},
        {"scan progress", Encoded<ScanProgressEvent>([](auto& r) {
             r.percent = 1; r.currentFile = L"f"; r.currentShowType = 2; r.counts.level2Found = 3;
             r.counts.filesFound = 4; r.counts.level3Found = 5; }),
         "01000000 5400 01000000 01000000 6600 02000000 03000000 04000000 05000000"},
        {"item status", Encoded<ItemStatusEvent>([](auto& r) {
             r.showType = 1; r.status = ItemStatus{2}; r.counts.enumerated = 3; r.counts.level2 = 4; r.counts.level3 = 5; }),
         "01000000 5400 01000000 02000000 03000000 04000000 05000000"},
        {"item progress", Encoded<ItemProgressEvent>([](auto& r) {
             r.showType = 1; r.status = ItemStatus{2}; r.counts.scanned = 3; r.counts.enumerated = 4; r.counts.level2 = 5;
             r.counts.level3 = 6; }),
         "01000000 5400 01000000 02000000 03000000 04000000 05000000 06000000"},
        {"threat found", Encoded<ThreatFoundEvent>([](auto& r) {
             r.queryId = 1; r.filePath = L"p"; r.signatureRecord = 2; r.fileSize = 3; r.showType = 4;
             r.description = L"d"; r.advice = L"a"; r.threatName = L"n"; r.categoryCode = 5; r.categoryName = L"c";
             r.actionCode = 6; r.actionName = L"x"; }),
         "01000000 5400 01000000 01000000 7000 02000000 03000000 04000000 01000000 6400 01000000 6100"
         " 01000000 6E00 05000000 01000000 6300 06000000 01000000 7800"},
        {"operate state", Encoded<OperateStateEvent>([](auto& r) { r.phase = OperatePhase{4}; r.operation = Operation{1}; }),
         "01000000 5400 04000000 01000000"},
        {"operate item", Encoded<OperateItemEvent>([](auto& r) { r.queryId = 1; r.outcome = OperateOutcome{2}; r.operation = Operation{3}; }),
         "01000000 5400 01000000 02000000 03000000"},
        {"operate progress", Encoded<OperateProgressEvent>([](auto& r) { r.processed = 1; r.total = 2; }),
         "01000000 5400 01000000 02000000"},
    };
    // clang-format on
    for (const auto& row : rows)
        EXPECT_EQ(row.encoded, FromHex(row.expected)) << row.record;

    NetStateEvent net;
    net.connected = true;
    EXPECT_EQ(RCEncodeRecord(net), FromHex("01"));
}

TEST(RCSafeDataStream, ReadsRequestsAndIgnoresTrailingBytes)
{
    TaskSetupRequest setup;
    ASSERT_TRUE(RCDecodeRecord(setup, FromHex("02000000 5400 3100 03000000 03000000 01000000 6100 00000000"
                                              " 01000000 6200 EE")));
    EXPECT_EQ(setup.taskId, L"T1");
    EXPECT_EQ(setup.scanType, ScanType::Custom);
    EXPECT_EQ(setup.customPaths, (std::vector<std::wstring>{L"a", L"", L"b"}));
}

TEST(RCSafeDataStream, FailuresCarryTheirCodesAndStick)
{
    TaskCommandRequest request;
    EXPECT_FALSE(RCDecodeRecord(request, nullptr, 10));
    std::vector<uint8_t> one = FromHex("01");
    RCSafeDataStream empty = RCSafeDataStream::ForReading(one.data(), 0);
    EXPECT_EQ(empty.ReadU8(), 0);
    EXPECT_EQ(empty.error(), RCSafeDataStream::kNoData);

    // A string count of 3 with only two code units left ends inside the string.
    std::vector<uint8_t> cut = FromHex("03000000 6100 6200 09000000");
    cut.resize(8);
    RCSafeDataStream in = RCSafeDataStream::ForReading(cut.data(), static_cast<uint32_t>(cut.size()));
    EXPECT_EQ(in.ReadWString(), L"");
    EXPECT_EQ(in.error(), RCSafeDataStream::kTruncated);
    EXPECT_EQ(in.ReadU32(), 0u); // every later field is skipped
    EXPECT_EQ(in.error(), RCSafeDataStream::kTruncated);
}

TEST(RCSafeDataStream, ListCountIsNeverTrustedBeyondTheBytesLeft)
{
    // Task "", operation 1, then a count of a billion ids with two actually present.
    std::vector<uint8_t> block = FromHex("00000000 01000000 00CA9A3B 07000000 08000000");
    TaskOperateRequest request;
    EXPECT_FALSE(RCDecodeRecord(request, block));
    EXPECT_TRUE(request.queryIds.empty());

    // Counts whose size in bytes wraps to what is left: an id, a string.
    EXPECT_FALSE(RCDecodeRecord(request, FromHex("00000000 01000000 01000040 07000000")));
    TaskCommandRequest command;
    EXPECT_FALSE(RCDecodeRecord(command, FromHex("01000080 5400 01000000")));

    // The same with a true count reads both.
    block[8] = 2;
    block[9] = block[10] = block[11] = 0;
    ASSERT_TRUE(RCDecodeRecord(request, block));
    EXPECT_EQ(request.queryIds, (std::vector<uint32_t>{7, 8}));

    // Paths need at least four bytes each: two empty paths fit in 8 bytes, three do not.
    TaskSetupRequest setup;
    std::vector<uint8_t> paths = FromHex("00000000 03000000 03000000 00000000 00000000");
    EXPECT_FALSE(RCDecodeRecord(setup, paths));
    paths[8] = 2;
    EXPECT_TRUE(RCDecodeRecord(setup, paths));
    EXPECT_EQ(setup.customPaths.size(), 2u);
}

#include <gtest/gtest.h>

#include "module/RCBusRecords.h"

using namespace RC;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

} // namespace

TEST(RCSafeDataStream, CommandResultHasTheWireLayoutPeersRead)
{
    TaskCommandResultEvent event;
    event.taskId = L"a";
    event.command = 2;
    event.result = true;
    EXPECT_EQ(RCEncodeRecord(event), Bytes({1, 0, 0, 0, 0x61, 0, 2, 0, 0, 0, 1}));

    NetStateEvent net;
    net.connected = true;
    EXPECT_EQ(RCEncodeRecord(net), Bytes({1}));
}

TEST(RCSafeDataStream, FieldsKeepTheirWireOrder)
{
    // The progress event carries the current file second and the file count sixth.
    ScanProgressEvent progress;
    progress.taskId = L"";
    progress.percent = 7;
    progress.currentFile = L"x";
    progress.currentShowType = 3;
    progress.level2Found = 4;
    progress.filesFound = 5;
    progress.level3Found = 6;
    EXPECT_EQ(RCEncodeRecord(progress),
              Bytes({0, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 'x', 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0}));
}

TEST(RCSafeDataStream, ReadsRequestsAndIgnoresTrailingBytes)
{
    TaskSetupRequest setup;
    setup.taskId = L"task-1";
    setup.scanType = 3;
    setup.customPaths = {L"C:\\one", L"", L"D:\\two"};
    std::vector<uint8_t> block = RCEncodeRecord(setup);
    block.push_back(0xEE);

    TaskSetupRequest read;
    ASSERT_TRUE(RCDecodeRecord(read, block));
    EXPECT_EQ(read.taskId, L"task-1");
    EXPECT_EQ(read.scanType, 3u);
    EXPECT_EQ(read.customPaths, setup.customPaths);
}

TEST(RCSafeDataStream, FailuresCarryTheirCodesAndStick)
{
    TaskCommandRequest request;
    EXPECT_FALSE(RCDecodeRecord(request, nullptr, 10));
    std::vector<uint8_t> one = Bytes({1});
    RCSafeDataStream empty = RCSafeDataStream::ForReading(one.data(), 0);
    EXPECT_EQ(empty.ReadU8(), 0);
    EXPECT_EQ(empty.error(), RCSafeDataStream::kNoData);

    // A string count of 3 with only two code units left ends inside the string.
    std::vector<uint8_t> cut = Bytes({3, 0, 0, 0, 'a', 0, 'b', 0, 9, 0, 0, 0});
    cut.resize(8);
    RCSafeDataStream in = RCSafeDataStream::ForReading(cut.data(), static_cast<uint32_t>(cut.size()));
    EXPECT_EQ(in.ReadWString(), L"");
    EXPECT_EQ(in.error(), RCSafeDataStream::kTruncated);
    EXPECT_EQ(in.ReadU32(), 0u);  // every later field is skipped
    EXPECT_EQ(in.error(), RCSafeDataStream::kTruncated);

    RCSafeDataStream reading = RCSafeDataStream::ForReading(one.data(), 1);
    reading.WriteU32(1);
    EXPECT_EQ(reading.error(), RCSafeDataStream::kNotWriting);
    RCSafeDataStream writing = RCSafeDataStream::ForWriting();
    EXPECT_EQ(writing.ReadU8(), 0);
    EXPECT_EQ(writing.error(), RCSafeDataStream::kNotReading);
}

TEST(RCSafeDataStream, ListCountIsNeverTrustedBeyondTheBytesLeft)
{
    // Task "", operation 1, then a count of a billion ids with two actually present.
    std::vector<uint8_t> block = Bytes({0, 0, 0, 0, 1, 0, 0, 0, 0x00, 0xCA, 0x9A, 0x3B, 7, 0, 0, 0, 8, 0, 0, 0});
    TaskOperateRequest request;
    EXPECT_FALSE(RCDecodeRecord(request, block));
    EXPECT_TRUE(request.queryIds.empty());

    // The same with a true count reads both.
    block[8] = 2;
    block[9] = block[10] = block[11] = 0;
    ASSERT_TRUE(RCDecodeRecord(request, block));
    EXPECT_EQ(request.queryIds, (std::vector<uint32_t>{7, 8}));

    // Paths need at least four bytes each: two empty paths fit in 8 bytes, three do not.
    TaskSetupRequest setup;
    std::vector<uint8_t> paths = Bytes({0, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(RCDecodeRecord(setup, paths));
    paths[8] = 2;
    EXPECT_TRUE(RCDecodeRecord(setup, paths));
    EXPECT_EQ(setup.customPaths.size(), 2u);
}

#include "engine/RCInFileStream.h"
#include "foundation/RCRefPtr.h"
#include "Src/Engine/Enumerator/EnumTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// 2.5 MiB: the read crosses chunk borders.
std::string Pattern()
{
    std::string bytes(5 * 1024 * 1024 / 2, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

class InFileStream : public testing::Test
{
protected:
    RC::test::ScratchDir folder_;
    const std::string bytes_ = Pattern();
    const uint32_t size_ = static_cast<uint32_t>(bytes_.size());
    const std::wstring path_ = folder_.Write(L"stream.bin", bytes_);
};

TEST_F(InFileStream, AnswersOnlyItsInterfaceIds)
{
    RCRefPtr<RC::RCInFileStream> stream(new RC::RCInFileStream);
    void* out = nullptr;
    EXPECT_EQ(stream->QueryInterface(0x402, nullptr), RC::RC_STATUS_INVALID_ARGUMENT);
    for (uint32_t id : {0x401u, 0x403u, 0x405u, 0x408u}) {
        EXPECT_EQ(stream->QueryInterface(id, &out), RC::RC_STATUS_NO_INTERFACE) << id;
        EXPECT_EQ(out, nullptr);
    }
    // The engine asks by number: each number answers its own interface.
    RC::RCInFileStream* object = stream.Get();
    const std::pair<uint32_t, RC::IUnknown*> answers[] = {
        {0, static_cast<RC::IInStream*>(object)},
        {0x402, static_cast<RC::IInStream*>(object)},
        {0x404, static_cast<RC::IStreamGetSize*>(object)},
        {0x406, static_cast<RC::ICloneStream*>(object)},
        {0x407, static_cast<RC::IStreamGetFileName*>(object)},
    };
    for (const auto& [id, expected] : answers) {
        ASSERT_EQ(stream->QueryInterface(id, &out), RC::RC_STATUS_OK) << id;
        EXPECT_EQ(out, static_cast<void*>(expected)) << id;
        EXPECT_EQ(stream->GetRefCount(), 2);
        expected->Release();
    }
    EXPECT_EQ(stream->GetRefCount(), 1);
}

TEST_F(InFileStream, ReadsALargeFileWholeAndFailsQuietlyWhenClosed)
{
    RCRefPtr<RC::RCInFileStream> stream(new RC::RCInFileStream);
    std::vector<unsigned char> buffer(3 * 1024 * 1024);
    uint32_t read = 99;
    EXPECT_FALSE(stream->OpenShareRead(path_ + L".missing"));
    EXPECT_EQ(stream->Read(buffer.data(), 10, &read), RC::RC_STATUS_FAILED);
    EXPECT_EQ(read, 0u);
    uint64_t size = 0;
    EXPECT_EQ(stream->GetSize(&size), RC::RC_STATUS_FAILED);

    ASSERT_TRUE(stream->OpenShareRead(path_));
    ASSERT_EQ(stream->GetSize(&size), RC::RC_STATUS_OK);
    EXPECT_EQ(size, size_);
    ASSERT_EQ(stream->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &read), RC::RC_STATUS_OK);
    ASSERT_EQ(read, size_);
    EXPECT_EQ(0, memcmp(buffer.data(), bytes_.data(), size_));
    EXPECT_EQ(stream->Read(buffer.data(), 10, &read), RC::RC_STATUS_OK);
    EXPECT_EQ(read, 0u);

    std::wstring name;
    EXPECT_EQ(stream->GetFileName(&name), RC::RC_STATUS_OK);
    EXPECT_EQ(name, path_);
    stream->Close();
    EXPECT_EQ(stream->GetFileName(&name), RC::RC_STATUS_FAILED);
    EXPECT_EQ(name, L"");
}

TEST_F(InFileStream, SeeksByOriginAndClonesAnIndependentStream)
{
    RCRefPtr<RC::RCInFileStream> stream(new RC::RCInFileStream);
    ASSERT_TRUE(stream->OpenShareRead(path_));
    uint64_t position = 12345;
    EXPECT_EQ(stream->Seek(0, 3, &position), RC::RC_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(position, 12345u);
    ASSERT_EQ(stream->Seek(-10, RC::IInStream::kEnd, &position), RC::RC_STATUS_OK);
    EXPECT_EQ(position, size_ - 10u);
    EXPECT_EQ(stream->Seek(-1, RC::IInStream::kBegin, &position), RC::RC_STATUS_FAILED);
    ASSERT_EQ(stream->Seek(1000, RC::IInStream::kBegin, &position), RC::RC_STATUS_OK);

    RCRefPtr<RC::IInStream> clone(stream->Clone());
    ASSERT_TRUE(clone);
    unsigned char a[16] = {}, b[16] = {};
    uint32_t read = 0;
    ASSERT_EQ(clone->Read(a, 16, &read), RC::RC_STATUS_OK);
    EXPECT_EQ(0, memcmp(a, &bytes_[1000], 16));
    ASSERT_EQ(stream->Read(b, 16, &read), RC::RC_STATUS_OK);
    EXPECT_EQ(0, memcmp(b, &bytes_[1000], 16));
    ASSERT_EQ(clone->Seek(0, RC::IInStream::kCurrent, &position), RC::RC_STATUS_OK);
    EXPECT_EQ(position, 1016u);

    RC::RCInFileStream closed;
    EXPECT_EQ(closed.Clone(), nullptr);
}

} // namespace

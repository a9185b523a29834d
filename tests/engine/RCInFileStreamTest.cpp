#include "engine/RCInFileStream.h"
#include "foundation/RCRefPtr.h"
#include "Src/Engine/Enumerator/EnumTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The stream as the engine drives it: interfaces by number, a 2.5 MiB file
// read whole across chunk borders, seeks by origin, an independent clone, and
// quiet failures without a file.
TEST(InFileStream, AnswersItsInterfacesReadsSeeksAndClonesAndFailsQuietlyWithoutAFile)
{
    std::string bytes(5 * 1024 * 1024 / 2, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    RC::test::ScratchDir folder;
    const std::wstring path = folder.Write(L"stream.bin", bytes);

    RCRefPtr<RC::RCInFileStream> stream(new RC::RCInFileStream);
    void* out = nullptr;
    EXPECT_EQ(stream->QueryInterface(0x402, nullptr), RC::RC_STATUS_INVALID_ARGUMENT);
    for (uint32_t id : {0x401u, 0x403u, 0x405u, 0x408u})
        EXPECT_EQ(stream->QueryInterface(id, &out), RC::RC_STATUS_NO_INTERFACE) << id;
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

    std::vector<unsigned char> buffer(3 * 1024 * 1024);
    uint32_t read = 99;
    uint64_t position = 12345;
    std::wstring name;
    EXPECT_FALSE(stream->OpenShareRead(path + L".missing"));
    EXPECT_EQ(stream->Read(buffer.data(), 10, &read), RC::RC_STATUS_FAILED);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(stream->GetSize(&position), RC::RC_STATUS_FAILED);
    EXPECT_EQ(stream->Clone(), nullptr);

    ASSERT_TRUE(stream->OpenShareRead(path));
    ASSERT_EQ(stream->GetSize(&position), RC::RC_STATUS_OK);
    EXPECT_EQ(position, size);
    ASSERT_EQ(stream->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &read), RC::RC_STATUS_OK);
    ASSERT_EQ(read, size);
    EXPECT_EQ(0, memcmp(buffer.data(), bytes.data(), size));
    EXPECT_EQ(stream->Read(buffer.data(), 10, &read), RC::RC_STATUS_OK);
    EXPECT_EQ(read, 0u);

    EXPECT_EQ(stream->Seek(0, 3, &position), RC::RC_STATUS_INVALID_ARGUMENT);
    ASSERT_EQ(stream->Seek(-10, RC::IInStream::kEnd, &position), RC::RC_STATUS_OK);
    EXPECT_EQ(position, size - 10u);
    EXPECT_EQ(stream->Seek(-1, RC::IInStream::kBegin, &position), RC::RC_STATUS_FAILED);
    ASSERT_EQ(stream->Seek(1000, RC::IInStream::kBegin, &position), RC::RC_STATUS_OK);
    RCRefPtr<RC::IInStream> clone(stream->Clone());
    ASSERT_TRUE(clone);
    unsigned char a[16] = {}, b[16] = {};
    ASSERT_EQ(clone->Read(a, 16, &read), RC::RC_STATUS_OK);
    ASSERT_EQ(stream->Read(b, 16, &read), RC::RC_STATUS_OK);
    EXPECT_EQ(0, memcmp(a, &bytes[1000], 16));
    EXPECT_EQ(0, memcmp(b, &bytes[1000], 16));
    ASSERT_EQ(clone->Seek(0, RC::IInStream::kCurrent, &position), RC::RC_STATUS_OK);
    EXPECT_EQ(position, 1016u);

    EXPECT_EQ(stream->GetFileName(&name), RC::RC_STATUS_OK);
    EXPECT_EQ(name, path);
    stream->Close();
    EXPECT_EQ(stream->GetFileName(&name), RC::RC_STATUS_FAILED);
    EXPECT_EQ(name, L"");
}

} // namespace

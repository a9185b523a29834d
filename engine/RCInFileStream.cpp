#include "engine/RCInFileStream.h"

#include "foundation/RCFileSystem.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCPath.h"
#include "foundation/RCRefPtr.h"

#include <memory>
#include <new>

namespace RC {

namespace {

// Large requests are split so that no single system call grows huge.
constexpr uint32_t kMaxChunk = 0x100000;

HANDLE OpenForSequentialRead(const std::wstring& path, uint32_t shareMode)
{
    return ::CreateFileW(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

RCInFileStream::~RCInFileStream()
{
    Close();
}

bool RCInFileStream::Open(const std::wstring& path, uint32_t shareMode)
{
    Close();
    handle_.reset(OpenForSequentialRead(path, shareMode));
    std::wstring longPath;
    if (!handle_ && RCToLongPath(path, longPath))
        handle_.reset(OpenForSequentialRead(longPath, FILE_SHARE_READ | FILE_SHARE_WRITE));
    fileName_ = path;
    return handle_.is_valid();
}

void RCInFileStream::Close()
{
    handle_.reset();
    fileName_.clear();
}

uint32_t RCInFileStream::Read(void* data, uint32_t size, uint32_t* processed)
{
    uint32_t total = 0;
    uint32_t status = RC_STATUS_OK;
    if (!handle_) {
        status = RC_STATUS_FAILED;
    } else {
        auto* cursor = static_cast<unsigned char*>(data);
        uint32_t remaining = size;
        for (;;) {
            const DWORD chunk = remaining < kMaxChunk ? remaining : kMaxChunk;
            DWORD read = 0;
            const BOOL ok = ::ReadFile(handle_.get(), cursor, chunk, &read, nullptr);
            total += read;
            if (!ok) {
                status = RC_STATUS_FAILED;
                break;
            }
            if (read == 0 || read == remaining)
                break;
            cursor += read;
            remaining -= read;
        }
    }
    if (processed)
        *processed = total;
    return status;
}

uint32_t RCInFileStream::Seek(int64_t offset, uint32_t origin, uint64_t* newPosition)
{
    if (origin > kEnd)
        return RC_STATUS_INVALID_ARGUMENT;
    LONG high = static_cast<LONG>(offset >> 32);
    // The low word of a valid position may equal INVALID_SET_FILE_POINTER;
    // only the error code tells a failure.
    ::SetLastError(NO_ERROR);
    const DWORD low = handle_ ? ::SetFilePointer(handle_.get(), static_cast<LONG>(offset & 0xFFFFFFFF), &high, origin)
                              : INVALID_SET_FILE_POINTER;
    const bool failed = !handle_ || (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR);
    if (newPosition)
        *newPosition = failed ? 0 : (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    return failed ? RC_STATUS_FAILED : RC_STATUS_OK;
}

uint32_t RCInFileStream::GetSize(uint64_t* size)
{
    if (!size || !handle_)
        return RC_STATUS_FAILED;
    DWORD high = 0;
    ::SetLastError(NO_ERROR);
    const DWORD low = ::GetFileSize(handle_.get(), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
        return RC_STATUS_FAILED;
    *size = (static_cast<uint64_t>(high) << 32) | low;
    return RC_STATUS_OK;
}

IInStream* RCInFileStream::Clone()
{
    return RCNoThrowBoundary<IInStream*>("RCInFileStream::Clone", nullptr, [&]() -> IInStream* {
        std::unique_ptr<RCInFileStream> clone(new RCInFileStream);
        uint64_t position = 0;
        IInStream* stream = clone.get();
        if (clone->OpenShareReadWrite(fileName_) && Seek(0, kCurrent, &position) == RC_STATUS_OK &&
            stream->Seek(static_cast<int64_t>(position), kBegin, nullptr) == RC_STATUS_OK)
            return clone.release(); // the caller takes the first reference
        return nullptr;
    });
}

uint32_t RCInFileStream::GetFileName(std::wstring* name)
{
    if (!name)
        return RC_STATUS_FAILED;
    return RCNoThrowBoundary("RCInFileStream::GetFileName", RC_STATUS_FAILED, [&] {
        *name = fileName_;
        return fileName_.empty() ? RC_STATUS_FAILED : RC_STATUS_OK;
    });
}

} // namespace RC

#pragma once

#include "engine/IUnknownImpl4.h"
#include "foundation/RCHandles.h"

#include <string>

namespace RC {

// A read-only stream over one file. A new stream has count 0: its creator
// takes the first reference. The position is the file pointer of the handle,
// so one stream serves one thread at a time; Clone gives another thread a
// handle of its own.
class RCInFileStream : public IUnknownImpl4<IInStream, IStreamGetSize, ICloneStream, IStreamGetFileName> {
public:
    RCInFileStream() = default;
    ~RCInFileStream() override;

    bool Open(const std::wstring& path, uint32_t shareMode);
    bool OpenShareRead(const std::wstring& path) { return Open(path, FILE_SHARE_READ); }
    bool OpenShareReadWrite(const std::wstring& path) { return Open(path, FILE_SHARE_READ | FILE_SHARE_WRITE); }
    void Close();

    uint32_t Read(void* data, uint32_t size, uint32_t* processed) override;
    uint32_t Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) override;
    uint32_t GetSize(uint64_t* size) override;
    IInStream* Clone() override;
    uint32_t GetFileName(std::wstring* name) override;

private:
    unique_hfile handle_;
    std::wstring fileName_;
};

} // namespace RC

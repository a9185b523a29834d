#pragma once
// The sink of enumeration events: the scan controller. Every call comes on
// the enumeration thread.
#include <string>

namespace RC {

class IAvEnumFile;

class IAvEnumFileEvent {
public:
    // A run begins; the result is not used.
    virtual bool OnEnumStart() = 0;
    // One enumerator begins; false skips its walk.
    virtual bool OnEnumItemStart(IAvEnumFile* enumerator) = 0;
    // One found path; false stops the enumerator.
    virtual bool OnEnumFile(IAvEnumFile* enumerator, const std::wstring& path, const std::wstring& subItem) = 0;
    // One enumerator is done, also after a stop or a skipped walk; the result is not used.
    virtual bool OnEnumFileEnd(IAvEnumFile* enumerator) = 0;
    // The run is over; stopped when it ended by a stop request.
    virtual void OnEnumEnd(bool stopped) = 0;
    virtual ~IAvEnumFileEvent() = default;
};

} // namespace RC

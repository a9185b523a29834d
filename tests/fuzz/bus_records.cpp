// Every record of the bus, read from arbitrary bytes: the first byte picks the
// record. A record that reads must write back to bytes that read to itself.
#include "module/RCBusRecords.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

template <class Record>
void RoundTrip(const uint8_t* data, size_t size)
{
    Record record;
    if (!RC::RCDecodeRecord(record, data, static_cast<uint32_t>(size)))
        return;
    const std::vector<uint8_t> bytes = RC::RCEncodeRecord(record);
    FUZZ_CHECK(bytes.size() <= size);
    Record again;
    FUZZ_CHECK(RC::RCDecodeRecord(again, bytes));
    FUZZ_CHECK(RC::RCEncodeRecord(again) == bytes);
}

using Reader = void (*)(const uint8_t*, size_t);
constexpr Reader kReaders[] = {
    RoundTrip<RC::TaskSetupRequest>,         RoundTrip<RC::TaskCommandRequest>,   RoundTrip<RC::TaskOperateRequest>,
    RoundTrip<RC::TaskCancelOperateRequest>, RoundTrip<RC::TaskSetupDoneEvent>,   RoundTrip<RC::TaskCommandResultEvent>,
    RoundTrip<RC::ScanStateEvent>,           RoundTrip<RC::ScanProgressEvent>,    RoundTrip<RC::ItemStatusEvent>,
    RoundTrip<RC::ItemProgressEvent>,        RoundTrip<RC::ThreatFoundEvent>,     RoundTrip<RC::OperateStateEvent>,
    RoundTrip<RC::OperateItemEvent>,         RoundTrip<RC::OperateProgressEvent>, RoundTrip<RC::NetStateEvent>,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > UINT32_MAX)
        return 0;
    kReaders[data[0] % std::size(kReaders)](data + 1, size - 1);
    return 0;
}

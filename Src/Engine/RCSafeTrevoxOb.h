#pragma once
// The progress record of one task and the notifications built from it. The
// controller writes the counters and fires; the observer copies the fields a
// notification needs and calls the task info's callback.
//
// Threads: the enumeration and query threads write the record while a bus
// thread reads it, so every field is read and written under the record's own
// lock (a string read while another thread assigns it is undefined). A
// notification copies its block and hands it to the callback under that
// lock: the callback only queues the post (it never calls the host there),
// and the queue then holds the notifications in the order of their copies,
// so a later figure is never posted before an earlier one and no item
// notification comes before the status change it shows. Progress and
// item-progress notifications are throttled to one each per 50 ms for the
// whole process, whatever the number of tasks, so that a fast scan does not
// flood the bus; the throttles take no lock.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Src/Engine/IScanObCallback.h"
#include "Src/Engine/Scanner/FileQueryTask.h"
#include "foundation/RCNonCopyable.h"

namespace RC {

struct ScanItem {
    uint32_t showType = 0;
    std::wstring displayName;
};

class RCSafeTrevoxOb : private RCNonCopyable {
public:
    using TickSource = uint32_t (*)();

    RCSafeTrevoxOb();
    virtual ~RCSafeTrevoxOb();

    // Zeroes the counters and item rows, empties the current file and item;
    // the state, the item list and the callback stay.
    void Reset();
    // Set before the first run; read by every notification.
    void SetCallback(IScanObCallback* callback);
    IScanObCallback* GetCallback() const;

    ScanStatusBlock GetStatus() const;
    ScanProgressBlock GetProgress() const;
    // All zeros for show types of 46 and above.
    ItemRow GetItemRow(uint32_t showType) const;
    std::vector<ScanItem> GetItems() const;
    void SetItems(std::vector<ScanItem> items);

    ScanState GetState() const;
    void SetState(ScanState state);
    void SetPercent(uint32_t percent);
    // Within a run the percentage only rises: a lower figure is ignored
    // until it passes the one already shown (peers draw bars from it).
    void RaisePercent(uint32_t percent);
    void SetCurrentItem(uint32_t showType, const std::wstring& name);
    void SetCurrentFile(const std::wstring& path);
    void IncrementFilesFound();
    void IncrementLevel3Found();
    void IncrementLevel2Found();

    // Item rows: nothing is set for show types of 46 and above.
    void SetItemCounts(uint32_t showType, const ItemCounts& counts);
    // Sets the item's status and notifies it (with zeros past the items).
    void ChangeItemStatus(uint32_t showType, ItemStatus status);

    void FireState();
    void FireProgress();                      // throttled
    void FireItemProgress(uint32_t showType); // throttled

    // The clock of the throttles (GetTickCount unless a test says otherwise).
    static void SetTickSource(TickSource source);

private:
    struct Record;
    std::unique_ptr<Record> record_;
};

} // namespace RC

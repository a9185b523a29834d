#pragma once
// kivoscan's side of the bus: loads the module through the reference host,
// drives one task with bus requests and hands the task's events over in the
// order the bus delivered them. Nothing here touches the module's classes.
//
// Threads: the bus's delivery thread only queues events (the listener); the
// caller's thread does everything else, including waiting in Next.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/KivoTaskEvent.h"
#include "host/RCBus.h"
#include "host/RCModuleLibrary.h"

namespace KivoHost {

class KivoTaskPeer {
public:
    explicit KivoTaskPeer(std::wstring taskId, RCBusMode mode = RCBusMode::Gentle);
    // Stops and detaches the module if Start attached it; in the harsh mode
    // the library is freed right after the module's release.
    ~KivoTaskPeer();
    KivoTaskPeer(const KivoTaskPeer&) = delete;
    KivoTaskPeer& operator=(const KivoTaskPeer&) = delete;

    // Loads the module DLL, attaches it to the bus and starts it; false with
    // the reason in error() when the DLL or its module is missing.
    [[nodiscard]] bool Start(const std::wstring& modulePath);
    const std::wstring& error() const { return error_; }

    void Setup(RC::ScanType scanType, const std::vector<std::wstring>& paths);
    void Command(RC::Command command);
    void Operate(RC::Operation operation, const std::vector<uint32_t>& queryIds);

    // The task's next event, or nothing when none came within timeoutMs.
    std::optional<KivoTaskEvent> Next(unsigned timeoutMs);

private:
    void Post(const std::wstring& id, const std::vector<uint8_t>& record);

    const std::wstring taskId_;
    const RCBusMode mode_;
    std::wstring error_;
    RCModuleLibrary library_;
    RC::DmAvCore::IVBusModule* module_ = nullptr;
    std::unique_ptr<RCBus> bus_; // destroyed before the library it calls into

    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<KivoTaskEvent> events_;
};

} // namespace KivoHost

#pragma once
// The command line of kivoscan, read into one value. Pure: no system calls, so
// the reading can be checked without Windows.
#include <cstdint>
#include <string>
#include <vector>

#include "module/RCBusCodes.h"

namespace KivoHost {

class KivoScanOptions {
public:
    enum class Action { Scan, InstallSignatures, ListQuarantine, Restore, ListSignatures, RemoveSignatures, Help };

    // False with a one-line reason in error() for anything kivoscan cannot run.
    [[nodiscard]] bool Parse(const std::vector<std::wstring>& args);

    Action action = Action::Scan;
    RC::ScanType scanType = RC::ScanType::Custom;
    std::wstring typeName = L"custom";
    bool quarantine = false;
    bool json = false;
    bool quiet = false;
    bool progress = false;           // progress lines also when stderr is no terminal
    bool unixPaths = false;          // files by their Linux paths under Wine (not in JSON)
    bool unsignedContainers = false; // containers taken without their checks
    bool alertEncrypted = false;     // an encrypted archive entry is a finding
    std::wstring signatures;         // folder of databases to install, or empty
    std::wstring database;           // folder or file of databases to scan with, installing nothing
    std::wstring signatureFile;      // installed database file to remove (a bare file name)
    std::vector<std::wstring> paths; // as given; custom scans only
    std::wstring restoreMd5;         // 32 hex digits
    std::wstring restorePath;
    const std::wstring& error() const { return error_; }

    static const wchar_t* Usage();

private:
    bool Fail(std::wstring reason);
    std::wstring error_;
};

} // namespace KivoHost

#include "host/KivoSignatures.h"

#include <windows.h>

#include <vector>

#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCTextConvert.h"
#include "substitute/database/DatabaseReader.h"
#include "substitute/database/SignatureStore.h"

namespace KivoHost {

namespace {

bool SameFile(const WIN32_FIND_DATAW& source, const std::wstring& target)
{
    WIN32_FILE_ATTRIBUTE_DATA installed{};
    if (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &installed))
        return false;
    // CopyFileW keeps the write time: an unchanged source matches its copy.
    return installed.nFileSizeHigh == source.nFileSizeHigh && installed.nFileSizeLow == source.nFileSizeLow &&
           CompareFileTime(&installed.ftLastWriteTime, &source.ftLastWriteTime) == 0;
}

// Calls visit with each file of folder that the engine reads as a database,
// in the order the folder lists them, until visit answers false.
template <class Visit>
void ForEachDatabaseFile(const std::wstring& folder, Visit visit)
{
    WIN32_FIND_DATAW entry{};
    RC::unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find)
        return;
    do {
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (Substitute::DatabaseReader::Reads(RCWideToUtf8(entry.cFileName)) && !visit(entry))
            return;
    } while (FindNextFileW(find.get(), &entry));
}

} // namespace

bool KivoSignatures::Install(const std::wstring& from, const std::wstring& engineFolder, Failure& failure)
{
    if (!RCIsDirectory(from)) {
        failure = {from,
                   RCIsFile(from) ? L": a file; --signatures takes the folder that holds it" : L": no such folder"};
        return false;
    }
    const std::wstring to = engineFolder + L"signatures";
    CreateDirectoryW(to.c_str(), nullptr);
    unsigned found = 0;
    bool copied = true;
    ForEachDatabaseFile(from, [&](const WIN32_FIND_DATAW& entry) {
        ++found;
        const std::wstring source = from + L"\\" + entry.cFileName;
        const std::wstring target = to + L"\\" + entry.cFileName;
        if (SameFile(entry, target))
            return true;
        if (CopyFileW(source.c_str(), target.c_str(), FALSE))
            return true;
        failure = {source, L": cannot copy it into the engine's signatures folder (error " +
                               std::to_wstring(GetLastError()) + L")"};
        copied = false;
        return false;
    });
    if (!copied)
        return false;
    if (found == 0) {
        failure = {from, L" holds no signature database (.cvd, .cld, .hdb, .hsb, .mdb, .msb, .ndb, .fp, .sfp, .ign2)"};
        return false;
    }
    // The installed set follows the folder: a database removed there (a
    // signature withdrawn, a daily.cld replaced by daily.cvd) goes here too.
    std::vector<std::wstring> gone;
    ForEachDatabaseFile(to, [&](const WIN32_FIND_DATAW& entry) {
        if (!RCIsFile(from + L"\\" + entry.cFileName))
            gone.push_back(to + L"\\" + entry.cFileName);
        return true;
    });
    for (const std::wstring& path : gone)
        if (!DeleteFileW(path.c_str())) {
            failure = {path, L": cannot remove it (error " + std::to_wstring(GetLastError()) + L")"};
            return false;
        }
    return true;
}

void KivoSignatures::List(const std::wstring& engineFolder, KivoConsole& console)
{
    ForEachDatabaseFile(engineFolder + L"signatures", [&](const WIN32_FIND_DATAW& entry) {
        const unsigned long long size =
            (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        console.Out(RCWideToUtf8(entry.cFileName) + "  " + std::to_string(size));
        return true;
    });
}

bool KivoSignatures::Remove(const std::wstring& name, const std::wstring& engineFolder, Failure& failure)
{
    const std::wstring path = engineFolder + L"signatures\\" + name;
    if (!Substitute::DatabaseReader::Reads(RCWideToUtf8(name)) || !RCIsFile(path)) {
        failure = {L"", name + L": no such database file installed (see --signatures-list)"};
        return false;
    }
    if (!DeleteFileW(path.c_str())) {
        failure = {path, L": cannot remove it (error " + std::to_wstring(GetLastError()) + L")"};
        return false;
    }
    return true;
}

std::wstring KivoSignatures::Installed(const std::wstring& engineFolder)
{
    return engineFolder + L"signatures";
}

void KivoSignatures::PrintSummary(const std::wstring& source, bool toStderr, KivoConsole& console)
{
    Substitute::SignatureLoadReport report;
    Substitute::SignatureStore::LoadSource(source, report);
    if (toStderr)
        console.Err(report.Summary());
    else
        console.Out(report.Summary());
    for (const std::string& problem : report.problems)
        console.Err("kivoscan: " + problem);
    if (report.problemCount > report.problems.size())
        console.Err("kivoscan: " + std::to_string(report.problemCount - report.problems.size()) + " more problems");
}

} // namespace KivoHost

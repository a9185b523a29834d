#pragma once
// kivoscan --signatures DIR: installs a ClamAV database folder as it is
// (.cvd/.cld containers and loose files) into the engine's signatures folder,
// copying only files that are new or changed, and says in one line what the
// engine will load from it.
//
// Threads: the main thread only.
#include <string>

#include "host/KivoConsole.h"

namespace KivoHost {

class KivoSignatures {
public:
    // What went wrong, about which path: the caller shows the path its way.
    struct Failure {
        std::wstring path; // empty when the failure names no path
        std::wstring what; // follows the path: ": no such folder", ...
    };

    // Brings the engine's database files (beside it; engineFolder ends with a
    // backslash) in line with DIR's: copies what changed, removes what DIR no
    // longer holds. False with error set when DIR holds none or a copy or a
    // removal fails.
    static bool Install(const std::wstring& from, const std::wstring& engineFolder, Failure& failure);
    // One line per installed database file (name and size), in the order
    // the folder lists them.
    static void List(const std::wstring& engineFolder, KivoConsole& console);
    // Deletes one installed database file. False with error set when no
    // such file is installed or it cannot be deleted.
    static bool Remove(const std::wstring& name, const std::wstring& engineFolder, Failure& failure);
    // The installed databases' folder.
    static std::wstring Installed(const std::wstring& engineFolder);
    // Reads a folder of databases or one database file as the engine will,
    // and prints the summary line (on stdout, or stderr when stdout carries
    // JSON) and the first problems found, each with its file and line, on
    // stderr.
    static void PrintSummary(const std::wstring& source, bool toStderr, KivoConsole& console);
};

} // namespace KivoHost

#include "host/KivoScanOptions.h"

namespace KivoHost {

namespace {

struct ScanTypeName {
    const wchar_t* name;
    RC::ScanType type;
};

// Type 4 is a second custom type of the module; one name is enough here.
constexpr ScanTypeName kScanTypes[] = {{L"quick", RC::ScanType::Quick},
                                       {L"full", RC::ScanType::Full},
                                       {L"custom", RC::ScanType::Custom},
                                       {L"memory", RC::ScanType::Memory}};

bool IsHexText(const std::wstring& text)
{
    for (wchar_t c : text)
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F')))
            return false;
    return true;
}

} // namespace

const wchar_t* KivoScanOptions::Usage()
{
    return L"usage: kivoscan [--type quick|full|custom|memory] [--quarantine] [--json] [--quiet]\n"
           L"                [--progress] [--unix-paths] [--unsigned] [--alert-encrypted-archive]\n"
           L"                [-d PATH | --signatures DIR] [PATH...]\n"
           L"       kivoscan --signatures-list | --signatures-remove FILE\n"
           L"       kivoscan --list-quarantine\n"
           L"       kivoscan --restore MD5 PATH\n"
           L"\n"
           L"Scans through RCTrevox.dll and the engine beside kivoscan.exe.\n"
           L"  --type TYPE        quick, full, custom (the default; PATHs, or the current folder)\n"
           L"                     or memory (the images of running processes)\n"
           L"  --quarantine       quarantine every threat found once the scan has ended\n"
           L"  --json             every bus event as one JSON object per line on stdout\n"
           L"  --quiet            print threats and errors only\n"
           L"  --progress         write the progress line also when stderr is no terminal,\n"
           L"                     one line each time the percentage changes\n"
           L"  --unix-paths       under Wine, show files by their Linux paths (as winepath -u);\n"
           L"                     --json keeps the Windows paths\n"
           L"  -d, --database PATH scan with exactly the databases of this folder or file,\n"
           L"                     installing nothing\n"
           L"  --signatures DIR   install a ClamAV database folder as it is (.cvd, .cld,\n"
           L"                     .hdb, .hsb, .mdb, .msb, .ndb, .fp, .sfp, .ign2) into the\n"
           L"                     engine's signatures folder (signatures\\ beside Quentor.dll),\n"
           L"                     copying only what changed, and print what it holds; the\n"
           L"                     files stay there for later scans. Without a PATH or --type\n"
           L"                     it installs and exits\n"
           L"  --alert-encrypted-archive\n"
           L"                     report an archive with an encrypted entry as a threat\n"
           L"                     (Heuristics.Encrypted.Zip) instead of not fully scanned\n"
           L"  --unsigned         take .cvd and .cld containers without checking their\n"
           L"                     digests and signatures (for containers you build yourself)\n"
           L"  --signatures-list  list the installed database files, then what they hold\n"
           L"  --signatures-remove FILE\n"
           L"                     remove one installed database file (a name that\n"
           L"                     --signatures-list shows), then print what is left\n"
           L"  --list-quarantine  list the engine's quarantined files (MD5, threat, path)\n"
           L"  --restore MD5 PATH put the quarantined file with this MD5 back at PATH\n"
           L"\n"
           L"With KIVOSCAN_STATS set in the environment, a scan ends with one line on\n"
           L"stderr: files, threats, seconds and the process's peak working set.\n"
           L"\n"
           L"Item names, categories and advice are in English unless LANG (or LC_ALL,\n"
           L"LC_MESSAGES) asks for Chinese; --json keeps the module's Chinese texts.\n"
           L"\n"
           L"Exit code: 0 everything scanned and no threat, 1 threats found, 2 an error\n"
           L"or something not scanned (a path not found, a path too long for the engine,\n"
           L"a file the engine could not read, a named file of an extension the module\n"
           L"does not scan, a scan stopped before its end); 130 when interrupted before\n"
           L"the scan began.\n";
}

bool KivoScanOptions::Fail(std::wstring reason)
{
    error_ = std::move(reason);
    return false;
}

bool KivoScanOptions::Parse(const std::vector<std::wstring>& args)
{
    bool typeGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == L"--help" || arg == L"-h") {
            action = Action::Help;
        } else if (arg == L"--type") {
            if (!hasValue)
                return Fail(L"--type needs a value: quick, full, custom or memory");
            const std::wstring& name = args[++i];
            bool known = false;
            for (const ScanTypeName& t : kScanTypes)
                if (name == t.name) {
                    scanType = t.type;
                    typeName = t.name;
                    known = true;
                }
            if (!known)
                return Fail(L"unknown scan type '" + name + L"': quick, full, custom or memory");
            typeGiven = true;
        } else if (arg == L"--quarantine") {
            quarantine = true;
        } else if (arg == L"--json") {
            json = true;
        } else if (arg == L"--quiet") {
            quiet = true;
        } else if (arg == L"--progress") {
            progress = true;
        } else if (arg == L"--unix-paths") {
            unixPaths = true;
        } else if (arg == L"--unsigned") {
            unsignedContainers = true;
        } else if (arg == L"--alert-encrypted-archive") {
            alertEncrypted = true;
        } else if (arg == L"--signatures") {
            if (!hasValue)
                return Fail(L"--signatures needs a folder");
            signatures = args[++i];
        } else if (arg == L"-d" || arg == L"--database") {
            if (!hasValue)
                return Fail(arg + L" needs a folder or a database file");
            database = args[++i];
        } else if (arg == L"--signatures-list") {
            action = Action::ListSignatures;
        } else if (arg == L"--signatures-remove") {
            if (!hasValue)
                return Fail(L"--signatures-remove needs a file name");
            signatureFile = args[++i];
            if (signatureFile.empty() || signatureFile.find_first_of(L"\\/:") != std::wstring::npos ||
                signatureFile == L"." || signatureFile == L"..")
                return Fail(L"'" + signatureFile + L"' is not the name of an installed database file");
            action = Action::RemoveSignatures;
        } else if (arg == L"--list-quarantine") {
            action = Action::ListQuarantine;
        } else if (arg == L"--restore") {
            if (i + 2 >= args.size())
                return Fail(L"--restore needs an MD5 and a path");
            restoreMd5 = args[++i];
            restorePath = args[++i];
            if (restoreMd5.size() != 32 || !IsHexText(restoreMd5))
                return Fail(L"'" + restoreMd5 + L"' is not an MD5 (32 hex digits)");
            action = Action::Restore;
        } else if (arg == L"--") {
            paths.insert(paths.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == L'-') {
            return Fail(L"unknown option '" + arg + L"'");
        } else {
            paths.push_back(arg);
        }
    }
    if (!database.empty() && !signatures.empty())
        return Fail(L"--database scans with its databases and installs nothing: not with --signatures");
    if (!paths.empty() && action != Action::Scan)
        return Fail(L"unexpected argument '" + paths.front() + L"'");
    if (!paths.empty() && typeGiven && scanType != RC::ScanType::Custom)
        return Fail(L"paths are scanned by the custom type only");
    // Installing databases is a task of its own unless a scan is asked for.
    if (action == Action::Scan && !signatures.empty() && paths.empty() && !typeGiven)
        action = Action::InstallSignatures;
    if (action == Action::Scan && scanType == RC::ScanType::Custom && paths.empty())
        paths.push_back(L".");
    return true;
}

} // namespace KivoHost

#pragma once

#include <string>
#include <vector>

// What the log configuration asks of one process and library.
struct RCLogSetting {
    unsigned level = 0; // lines of this level and lower are logged
    bool toFile = false;
};

// Reads the configuration document (UTF-8 XML, parsed in place, so the text
// must end with a NUL): Root / Global (no Name) / Exe (Name = the process's
// file name) / Module (Name = the library's file name). Each level inherits
// what the level above set; among siblings that match, the last one wins.
// False when the text does not configure logging (no Root, no Global, not
// XML, or more than 512 elements), in which case nothing is logged.
// Names in the document are UTF-8; utf8ToWide turns them into the text that
// processName and moduleName are compared with. The reading itself makes no
// system call, so that it can be built natively and fuzzed.
using RCUtf8ToWideFn = std::wstring (*)(const std::string& text);
bool RCReadLogConfig(std::vector<char>& text, const std::wstring& processName, const std::wstring& moduleName,
                     RCUtf8ToWideFn utf8ToWide, RCLogSetting& setting);

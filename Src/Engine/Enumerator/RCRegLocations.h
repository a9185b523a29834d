#pragma once
// The registry locations whose values name programs that the system starts or
// loads, as data: each row is one read of one key, and a reader's rows are
// read in table order. RCAvEnumIMPL::EnumRegLocation knows how to read each
// kind of row; the enumerators of RCAvEnumRegistry.h only pick their rows.
#include <windows.h>

#include <array>
#include <cstdint>
#include <vector>

namespace RC {

// The enumerator a row belongs to.
enum class RCRegReader : uint8_t {
    Sensitive, // the rows of the enumerator's show type
    StartUp,
    AppPath,
    FileAssociate,
    IEPopUpMenu,
    MirrorKidnap,
    ProcessPreload,
    OldOsLoad,
};

enum class RCRegRead : uint8_t {
    ValueData,    // the data of every value of the key
    ValueNames,   // the name of every value (class identifiers)
    ClassSubKeys, // every sub key named after a class, or whose default value names one
    SubKeyValues, // the named values of every sub key, as typed strings
    Value,        // the named values of the key itself, as typed strings
    SubKeyText,   // one value of every sub key, as text whatever its type
    KeyText,      // one value of the key itself, as text whatever its type
    ClassVerbs,   // every class's shell\<verb>\command, for the verbs in order
};

struct RCRegLocation {
    RCRegReader reader;
    int32_t showType; // Sensitive rows only: the show type that reads them
    RCRegRead read;
    HKEY root;
    const wchar_t* key;
    // Value names or verbs in order, unused ones null; L"" is the default value.
    std::array<const wchar_t*, 4> names;
};

// A reader's rows, in the order they are read; none for a show type that the
// Sensitive reader does not serve.
std::vector<const RCRegLocation*> RCRegLocationsOf(RCRegReader reader, int32_t showType);

} // namespace RC

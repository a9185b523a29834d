#pragma once
// The enumerators log through the library's logger; until it is part of this
// tree their log lines compile to nothing.
#if __has_include("foundation/RCDebugger.h")
#include "foundation/RCDebugger.h"
#else
#define RC_LOG(level, ...) \
    do {                   \
    } while (0)
#endif

#pragma once

#include "foundation/RCNonCopyable.h"

// OLE for the life of a scope on the calling thread. The thread that owns
// the object initialises and uninitialises; it must not move between threads.
class RCOleInit : private RC::RCNonCopyable {
public:
    RCOleInit();
    ~RCOleInit();

    bool Succeeded() const { return initialized_; }

private:
    bool initialized_ = false;
};

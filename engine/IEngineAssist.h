#pragma once
// Object 0x1003 of Halvane.dll. Slot order is the engine's; slot 0 is never
// called but must exist so that BeginRun stays at slot 1. Objects are freed
// through "DestroyObj", never through a destructor slot.

namespace RC {

class IEngineAssist {
public:
    virtual void __thiscall Reserved0() = 0; // slot 0, not called
    virtual void __thiscall BeginRun() = 0;  // slot 1: a scan run begins

protected:
    ~IEngineAssist() = default;
};

} // namespace RC

#pragma once
// Nothing thrown in this code may unwind into whoever called a boundary slot
// (an export, a slot of the bus module or of a message holder, the dispatch
// callback, an engine slot, a callback the engine makes): that caller is built
// by another compiler and our unwinder knows none of its frames, so an
// exception reaching it ends the host process. Every such slot runs its body
// through RCNoThrowBoundary, which turns whatever escapes into the slot's
// failure value and one line at level 1. A slot whose body cannot throw (a
// constant, an empty body, a destructor, which ends the process when it
// throws whatever wraps it) goes without. Thread entry points are guarded the
// same way: an exception at the top of a thread ends the process as well.
//
// The i686 toolchain unwinds from DWARF tables: a try block costs nothing until
// something throws, so the hot per-file slots are guarded like the others.
#include <exception>

namespace RC {

// One level-1 line naming the slot and what it caught (std::exception's
// what(), else "unknown exception"). Never throws.
void RCLogEscapedException(const char* slot, const char* what) noexcept;

// Runs body and returns its result; returns failure when anything is thrown.
template <typename Result, typename Body>
Result RCNoThrowBoundary(const char* slot, Result failure, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& caught) {
        RCLogEscapedException(slot, caught.what());
    } catch (...) {
        RCLogEscapedException(slot, nullptr);
    }
    return failure;
}

// For slots without a result.
template <typename Body>
void RCNoThrowBoundary(const char* slot, Body&& body) noexcept
{
    try {
        body();
    } catch (const std::exception& caught) {
        RCLogEscapedException(slot, caught.what());
    } catch (...) {
        RCLogEscapedException(slot, nullptr);
    }
}

} // namespace RC

#include "foundation/RCFormatString.h"

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kStackChars = 1024;
constexpr int kMaxAttempts = 1024;

// The characters written (without terminator), or -1 when they do not fit
// in capacity - 1 characters or the format fails.
int FormatInto(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list values)
{
    va_list copy;
    va_copy(copy, values);
    const int written = ::_vsnwprintf(buffer, capacity - 1, format, copy);
    va_end(copy);
    return written;
}

} // namespace

void RCFormatStringV(std::wstring& out, const wchar_t* format, va_list values)
{
    out.clear();
    if (!format || !*format)
        return;

    wchar_t stackBuffer[kStackChars];
    int written = FormatInto(stackBuffer, kStackChars, format, values);
    if (written >= 0) {
        out.assign(stackBuffer, static_cast<size_t>(written));
        return;
    }

    // Truncation and a bad format both answer -1; the counting call tells
    // them apart, so that a bad format does not grow the buffer forever.
    va_list copy;
    va_copy(copy, values);
    const int needed = ::_vscwprintf(format, copy);
    va_end(copy);
    if (needed < 0)
        return;

    size_t capacity = kStackChars;
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        capacity *= 2;
        if (capacity <= static_cast<size_t>(needed))
            continue;
        std::vector<wchar_t> heapBuffer(capacity);
        written = FormatInto(heapBuffer.data(), capacity, format, values);
        if (written >= 0) {
            out.assign(heapBuffer.data(), static_cast<size_t>(written));
            return;
        }
    }
}

void RCFormatString(std::wstring& out, const wchar_t* format, ...)
{
    va_list values;
    va_start(values, format);
    RCFormatStringV(out, format, values);
    va_end(values);
}

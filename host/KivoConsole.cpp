#include "host/KivoConsole.h"

#include "foundation/RCTextConvert.h"

namespace KivoHost {

namespace {
bool IsWide(wchar_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}
} // namespace

size_t KivoColumns(const std::wstring& text)
{
    size_t columns = 0;
    for (wchar_t c : text)
        columns += IsWide(c) ? 2 : 1;
    return columns;
}

KivoConsole::KivoConsole() : out_(GetStdHandle(STD_OUTPUT_HANDLE)), err_(GetStdHandle(STD_ERROR_HANDLE))
{
    DWORD mode = 0;
    interactive_ = err_ != nullptr && err_ != INVALID_HANDLE_VALUE && GetConsoleMode(err_, &mode);
    // The console turns the bytes written to it into text by its output code
    // page; files and pipes take them as they are. Either way they are UTF-8.
    SetConsoleOutputCP(CP_UTF8);
}

void KivoConsole::Write(HANDLE handle, const std::string& bytes)
{
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, static_cast<DWORD>(left), &written, nullptr) || written == 0)
            return;
        data += written;
        left -= written;
    }
}

void KivoConsole::Out(const std::string& utf8Line)
{
    ClearProgress();
    Write(out_, utf8Line + "\n");
}

void KivoConsole::Err(const std::string& utf8Line)
{
    ClearProgress();
    Write(err_, utf8Line + "\n");
}

void KivoConsole::Progress(const std::wstring& line)
{
    if (!interactive_) {
        Write(err_, RCWideToUtf8(line) + "\n");
        return;
    }
    const size_t columns = KivoColumns(line);
    std::wstring text = L"\r" + line;
    if (columns < progressColumns_)
        text.append(progressColumns_ - columns, L' ');
    Write(err_, RCWideToUtf8(text));
    progressColumns_ = columns;
}

void KivoConsole::KeepProgress()
{
    if (progressColumns_ == 0)
        return;
    Write(err_, "\n");
    progressColumns_ = 0;
}

void KivoConsole::ClearProgress()
{
    if (progressColumns_ == 0)
        return;
    Write(err_, "\r" + std::string(progressColumns_, ' ') + "\r");
    progressColumns_ = 0;
}

} // namespace KivoHost

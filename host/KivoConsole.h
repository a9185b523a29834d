#pragma once
// kivoscan's output: UTF-8 bytes on stdout and stderr, whatever the console's
// code page, and on a terminal one progress line on stderr redrawn in place.
// Lines written while a progress line shows first wipe it, so the two never mix.
// Elsewhere (a file, a pipe) each progress line the caller hands over is
// written as a line of its own.
//
// Threads: the main thread only.
#include <windows.h>

#include <string>

namespace KivoHost {

class KivoConsole {
public:
    KivoConsole();

    // True when stderr is a terminal: progress is redrawn in place there.
    bool interactive() const { return interactive_; }
    void Out(const std::string& utf8Line);
    void Err(const std::string& utf8Line);
    void Progress(const std::wstring& line);
    // Leaves the progress line on the terminal; the next one starts below.
    void KeepProgress();
    void ClearProgress();

private:
    static void Write(HANDLE handle, const std::string& bytes);

    HANDLE out_;
    HANDLE err_;
    bool interactive_ = false;
    size_t progressColumns_ = 0;
};

// Display columns of a text on a terminal (East Asian characters take two).
size_t KivoColumns(const std::wstring& text);

} // namespace KivoHost

#pragma once

#include <string>

// True for a file that starts with a DOS header pointing at a PE or NE header.
bool RCIsExecutableImage(const std::wstring& path);

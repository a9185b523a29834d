#pragma once
// The module speaks the suite's language, Chinese: item names, threat
// categories, actions and advice arrive as Chinese text. People reading
// kivoscan get English unless their locale asks for Chinese; --json keeps
// the module's texts as they came.
#include <string>

namespace KivoHost {

// True when LC_ALL, LC_MESSAGES or LANG (the first one set) names Chinese,
// or, with none of them set, when the user's interface language is Chinese.
bool KivoWantsChinese();

// The English for one of the module's texts; any other text as it is.
std::wstring KivoEnglish(const std::wstring& text);

} // namespace KivoHost

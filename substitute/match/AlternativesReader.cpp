#include "substitute/match/AlternativesReader.h"

#include <algorithm>
#include <cstddef>

#include "substitute/match/BodyPattern.h"

namespace Substitute {

std::size_t AlternativesReader::Count(std::size_t at)
{
    std::size_t count = 1, depth = 0;
    for (; at < text_.size() && (text_[at] != ')' || depth != 0); ++at, ++work_) {
        depth += text_[at] == '(';
        depth -= text_[at] == ')';
        count += depth == 0 && text_[at] == '|';
    }
    return count;
}

std::size_t AlternativesReader::Close(std::size_t at)
{
    for (std::size_t depth = 0; at < text_.size(); ++at, ++work_) {
        if (text_[at] == ')' && depth == 0)
            return at + 1;
        depth += text_[at] == '(';
        depth -= text_[at] == ')';
    }
    return std::string_view::npos;
}

const char* AlternativesReader::Add(std::string text)
{
    if (out_.size() >= BodyPattern::kMaxChoices)
        return "too many alternatives";
    out_.push_back(std::move(text));
    return nullptr;
}

const char* AlternativesReader::Walk(std::size_t at, const std::string& prefix, std::size_t depth, bool whole)
{
    if (work_ > BodyPattern::kMaxAlternativesWork)
        return "alternatives too many to read";
    const std::size_t count = Count(at);
    std::size_t read = 0;
    while (read < count) {
        ++read;
        const std::size_t end = std::min(text_.find_first_of("(|)", at), text_.size());
        if (end < text_.size() && text_[end] == '(' && end > 0 && text_[end - 1] == '!')
            return "a negation within alternatives";
        work_ += prefix.size() + end - at;
        std::string token = prefix + std::string(text_.substr(at, end - at));
        const char term = end < text_.size() ? text_[end] : '\0';
        at = end + 1;
        const char* why = nullptr;
        if (term == '\0') {
            why = Add(std::move(token));
            if (why == nullptr)
                break;
        } else if (term == '|') {
            const std::size_t close = depth == 0 ? 0 : Close(at);
            why = depth == 0                        ? Add(std::move(token))
                  : close == std::string_view::npos ? "unbalanced parentheses"
                                                    : Walk(close, token, depth - 1, false);
        } else if (term == ')') {
            why = depth == 0 ? "unbalanced parentheses" : Walk(at, token, depth - 1, false);
            if (why == nullptr)
                break;
        } else {
            const std::size_t close = Close(at);
            why = close == std::string_view::npos ? "unbalanced parentheses" : Walk(at, token, depth + 1, true);
            // On past the next '|' outside groups, or to the text's end
            // when the group was the last alternative's; and past an empty one after it.
            at = close;
            for (std::ptrdiff_t inner = 0; why == nullptr && at < text_.size();) {
                const char c = text_[at++];
                if (c == '|' && inner == 0)
                    break;
                inner += c == '(';
                inner -= c == ')';
            }
            if (at < text_.size() && text_[at] == '|')
                ++at;
        }
        if (why != nullptr)
            return why;
        if (!whole)
            return nullptr;
    }
    return read == count ? nullptr : "alternatives clamscan cannot count";
}

} // namespace Substitute

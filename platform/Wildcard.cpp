#include "platform/Wildcard.h"

#include "platform/Text.h"

namespace zb {
namespace {

char Fold(char c, bool ignoreCase) {
    return ignoreCase ? FoldAscii(c) : c;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase) {
    // Greedy match with one backtrack point at the last '*'.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || Fold(pattern[p], ignoreCase) == Fold(name[n], ignoreCase))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace zb

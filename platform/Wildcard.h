#pragma once

#include <string_view>

namespace zb {

// Matches one file name against a directory-search pattern: '*' any run of
// characters, '?' exactly one; everything else literally (ASCII letters in
// either case when `ignoreCase`).
bool WildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase = false);

}  // namespace zb

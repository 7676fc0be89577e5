// Texts joined into one string.
#pragma once

#include <string>
#include <string_view>

namespace wutally {

// The texts one after another. Strings are joined here by appending, once:
// GCC 12 warns wrongly of overlapping copies in chains of `+` on strings at
// -O3.
template <class... Texts> std::string concat(const Texts&... texts) {
    std::string joined;
    joined.reserve((std::string_view(texts).size() + ... + 0));
    (joined.append(std::string_view(texts)), ...);
    return joined;
}

} // namespace wutally

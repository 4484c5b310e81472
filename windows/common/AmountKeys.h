#pragma once

#include <optional>

namespace ovelta::AmountKeys {

/// The character filter of every amount box: a character above "9" (code 57) is discarded, any other passes.
inline std::optional<char32_t> filter(char32_t character)
{
    if (character > U'9')
        return char32_t(0);
    return std::nullopt;
}

} // namespace ovelta::AmountKeys

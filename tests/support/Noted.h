#pragma once

#include "store/value/Failure.h"

namespace ovelta::test {

/// The result as it came, with the text of its failure in error (empty on success) and, on success, its value
/// in value: for checks that read the text the user would be shown.
template <typename T> Result<T> noted(Result<T> result, QString* error, T* value = nullptr)
{
    *error = result.errorText();
    if (result && value != nullptr)
        *value = *result;
    return result;
}

inline Done noted(Done result, QString* error)
{
    *error = result.errorText();
    return result;
}

} // namespace ovelta::test

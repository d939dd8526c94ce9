#pragma once
// Helpers shared by the files that implement the C interface.

#include <string>
#include <string_view>

#include "kce/Error.h"
#include "kce/kce.h"

namespace kce {

// Throws 5001 when a required pointer is null.
template <typename T>
T* Need(T* pointer, const char* what) {
    if (pointer == nullptr)
        Fail(KDB_ERR_INVALID_ARGUMENT, std::string("The argument ") + what + " is null.");
    return pointer;
}

inline std::string_view TextArg(const char* text) {
    return text == nullptr ? std::string_view() : std::string_view(text);
}

}  // namespace kce

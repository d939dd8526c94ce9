#pragma once
// Short names for the stored values that table fixtures are written in.

#include <cstdint>

#include "kce/dbf/Types.h"

namespace kce::dbf::test {

inline StoredValue T(const char* utf8) {
    return StoredValue::Text(utf8);
}
inline StoredValue I(int64_t v) {
    return StoredValue::Int(v);
}
inline StoredValue R(double v) {
    return StoredValue::Real(v);
}
inline StoredValue N() {
    return StoredValue::Null();
}

}  // namespace kce::dbf::test

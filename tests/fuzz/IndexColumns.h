#pragma once
// The table columns the index fuzz targets read their keys against: one of each key type.

#include <cstdint>
#include <vector>

#include "kce/dbf/Types.h"

namespace kce::dbf::fuzz {

inline std::vector<Column> IndexColumns() {
    std::vector<Column> columns;
    uint32_t offset = 1;
    auto add = [&](const char* name, char type, uint32_t size, uint16_t decimals) {
        Column c;
        c.name = name;
        c.dbfType = type;
        c.length = size;
        c.decimals = decimals;
        c.offset = offset;
        c.size = size;
        offset += size;
        columns.push_back(c);
    };
    add("NAME", 'C', 12, 0);
    add("AGE", 'N', 4, 0);
    add("BAL", 'N', 9, 2);
    add("BORN", 'D', 8, 0);
    add("ACTIVE", 'L', 1, 0);
    return columns;
}

}  // namespace kce::dbf::fuzz

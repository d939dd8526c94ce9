#pragma once
// The engine's process-wide settings. Every access takes one lock; readers take a copy.

#include <cstdint>
#include <memory>

#include "kce/DateTime.h"

namespace kce {

struct EngineSettings {
    std::shared_ptr<const DateFormat> dateFormat;  // never null
    uint16_t decimals = 2;
    bool showDeleted = false;  // records marked deleted are no rows unless KdbShowDeleted(1)
    uint16_t serverTypes = 7;
    uint16_t cachedTables = 0;
    uint16_t cachedCursors = 25;
    bool exact = false;
    bool backgroundFill = false;  // queries return their cursor while it is filled (see kce.h)
};

EngineSettings CurrentSettings();
std::shared_ptr<const DateFormat> CurrentDateFormat();

void SetDateFormat(std::shared_ptr<const DateFormat> format);
void SetDecimals(uint16_t decimals);
void SetShowDeleted(bool show);
void SetServerTypes(uint16_t mask);
void SetCachedTables(uint16_t count);
void SetCachedCursors(uint16_t count);
void SetExact(bool exact);
void SetBackgroundFill(bool on);

}  // namespace kce

#include "kce/EngineSettings.h"

#include <mutex>

namespace kce {
namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

EngineSettings& State() {
    static EngineSettings state{std::make_shared<const DateFormat>("MM/DD/CCYY")};
    return state;
}

}  // namespace

EngineSettings CurrentSettings() {
    std::lock_guard guard(Lock());
    return State();
}

std::shared_ptr<const DateFormat> CurrentDateFormat() {
    std::lock_guard guard(Lock());
    return State().dateFormat;
}

void SetDateFormat(std::shared_ptr<const DateFormat> format) {
    std::lock_guard guard(Lock());
    State().dateFormat = std::move(format);
}

void SetDecimals(uint16_t decimals) {
    std::lock_guard guard(Lock());
    State().decimals = decimals;
}

void SetShowDeleted(bool show) {
    std::lock_guard guard(Lock());
    State().showDeleted = show;
}

void SetServerTypes(uint16_t mask) {
    std::lock_guard guard(Lock());
    State().serverTypes = mask;
}

void SetCachedTables(uint16_t count) {
    std::lock_guard guard(Lock());
    State().cachedTables = count;
}

void SetCachedCursors(uint16_t count) {
    std::lock_guard guard(Lock());
    State().cachedCursors = count;
}

void SetExact(bool exact) {
    std::lock_guard guard(Lock());
    State().exact = exact;
}

void SetBackgroundFill(bool on) {
    std::lock_guard guard(Lock());
    State().backgroundFill = on;
}

}  // namespace kce

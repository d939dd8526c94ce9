#include "engine/kdbset.h"

#include <mutex>

#include "data/Formats.h"
#include "data/TextCase.h"
#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

constexpr const char* kDefaultDateFormat = "MM/dd/ccyy";

std::mutex& CounterLock() {
    static std::mutex lock;
    return lock;
}
int instanceCount = 0;
TKdbSettings* instance = nullptr;

void Check(uint32_t result) {
    if (result != 0) throw SettingsKdbError(result);
}

bool IsDateLetter(char c) {
    const char upper = AnsiUpperChar(c);
    return upper == 'C' || upper == 'Y' || upper == 'M' || upper == 'D';
}

}  // namespace

TKdbSettings::TKdbSettings(TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)) {
    bool only = false;
    {
        std::lock_guard<std::mutex> guard(CounterLock());
        only = ++instanceCount == 1;
    }
    if (!only && !Designing()) {
        std::lock_guard<std::mutex> guard(CounterLock());
        --instanceCount;  // this instance never comes to exist
        throw Exception("Only one KdbSettings component is allowed per application");
    }
    try {
        setProcessDate_ = true;
        numCachedTables_ = 0;
        Check(KdbCacheOpenCursors(25));
        numCachedCursors_ = 25;
        std::string accepted = LocaleFormats.ShortDatePattern;
        if (KdbSetDateFormat(accepted.substr(0, std::min<size_t>(accepted.size(), 11)).c_str()) !=
            0) {
            accepted = kDefaultDateFormat;
            Check(KdbSetDateFormat(kDefaultDateFormat));
        }
        dateFormat_ = accepted;
        uint16_t decimals = 2;
        Check(KdbGetDecimals(&decimals));
        numDecimals_ = static_cast<int16_t>(decimals);
        uint16_t deleted = 1;
        Check(KdbGetDeleted(&deleted));
        showDeleted_ = deleted != 0;
        serverTypes_ = TKdbServerTypes{TKdbServerType::stKDB_REMOTE, TKdbServerType::stKDB_KIS};
        Check(KdbSetServerType(ServerTypeMask(serverTypes_)));
    } catch (...) {
        std::lock_guard<std::mutex> guard(CounterLock());
        --instanceCount;
        throw;
    }
    instance = this;
}

TKdbSettings::~TKdbSettings() {
    std::lock_guard<std::mutex> guard(CounterLock());
    --instanceCount;
    if (instance == this) instance = nullptr;
}

TKdbSettings* TKdbSettings::Instance() {
    return instance;
}

void TKdbSettings::SetDateFormat(const std::string& format) {
    const std::string value = format.empty() ? std::string(kDefaultDateFormat) : format;
    Check(KdbSetDateFormat(value.substr(0, std::min<size_t>(value.size(), 11)).c_str()));
    dateFormat_ = value;
    if (setProcessDate_) ApplyProcessDate();
}

void TKdbSettings::ApplyProcessDate() {
    std::string pattern = dateFormat_;
    for (char& c : pattern) {
        const char upper = AnsiUpperChar(c);
        if (upper == 'C' || upper == 'Y') c = 'y';
    }
    savedShortDatePattern_ = LocaleFormats.ShortDatePattern;
    LocaleFormats.ShortDatePattern = pattern;
    for (char c : pattern) {
        if (!IsDateLetter(c)) {
            LocaleFormats.DateSepChar = c;
            break;
        }
    }
}

void TKdbSettings::SetSetProcessDate(bool value) {
    setProcessDate_ = value;
    if (!value && Loading() && !savedShortDatePattern_.empty()) {
        LocaleFormats.ShortDatePattern = savedShortDatePattern_;
    }
}

void TKdbSettings::SetNumDecimals(int16_t decimals) {
    Check(KdbSetDecimals(static_cast<uint16_t>(decimals)));
    numDecimals_ = decimals;
}

void TKdbSettings::SetShowDeleted(bool value) {
    Check(KdbShowDeleted(value ? 1 : 0));
    showDeleted_ = value;
}

void TKdbSettings::SetKdbServerTypes(TKdbServerTypes types) {
    if (types == serverTypes_) return;
    const TKdbServerTypes previous =
        serverTypes_.Empty() ? TKdbServerTypes{TKdbServerType::stKDB_REMOTE} : serverTypes_;
    const uint16_t mask = ServerTypeMask(types);
    if (mask == 0) {
        serverTypes_ = previous;
        throw KdbSettingsError("At least one server type must be selected.");
    }
    const uint32_t result = KdbSetServerType(mask);
    if (result != 0) {
        serverTypes_ = previous;
        throw SettingsKdbError(result);
    }
    serverTypes_ = types;
}

void TKdbSettings::SetNumCachedTables(uint16_t count) {
    if (count == numCachedTables_) return;
    numCachedTables_ = count;
    Check(KdbCacheOpenTables(count));
}

void TKdbSettings::SetNumCachedCursors(uint16_t count) {
    if (count == numCachedCursors_) return;
    numCachedCursors_ = count;
    Check(KdbCacheOpenCursors(count));
}

uint32_t TKdbSettings::LastError() const {
    uint32_t code = 0;
    uint16_t length = 0;
    KdbGetLastError(&code, nullptr, &length);
    return code;
}

uint16_t TKdbSettings::NumOpenTables() const {
    uint16_t count = 0;
    Check(KdbGetNumOpenTables(&count));
    return count;
}

}  // namespace parvell

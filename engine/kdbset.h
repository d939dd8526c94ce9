#pragma once
// TKdbSettings: the engine's process-wide options (date format, decimals, deleted records,
// server types, cache sizes). It can also impose the engine date format on the program's own
// short date pattern, which changes how every date becomes text afterwards. One instance per
// program.

#include <cstdint>
#include <string>

#include "engine/KdbComponent.h"
#include "engine/kdbcnnct.h"

namespace parvell {

class TKdbSettings : public TComponent {
public:
    // The first instance sends its defaults to the engine and takes the engine's decimals and
    // deleted-record setting. A second one at run time raises Exception "Only one KdbSettings
    // component is allowed per application".
    explicit TKdbSettings(TComponent* owner = nullptr, std::string name = {});
    ~TKdbSettings() override;

    // Each setter sends the value to the engine first; a refusal raises KdbError with the
    // engine's text for the code.
    const std::string& DateFormat() const { return dateFormat_; }
    // Empty means "MM/dd/ccyy"; at most 11 characters reach the engine. With SetProcessDate the
    // short date pattern and date separator of LocaleFormats follow.
    void SetDateFormat(const std::string& format);
    int16_t NumDecimals() const { return numDecimals_; }
    void SetNumDecimals(int16_t decimals);
    bool SetProcessDate() const { return setProcessDate_; }
    // False while loading puts back the short date pattern of before the last DateFormat.
    void SetSetProcessDate(bool value);
    bool ShowDeleted() const { return showDeleted_; }
    void SetShowDeleted(bool value);
    TKdbServerTypes KdbServerTypes() const { return serverTypes_; }
    // [] raises KdbSettingsError "At least one server type must be selected."; on any failure
    // the previous set stays (or [stKDB_REMOTE] when that was empty).
    void SetKdbServerTypes(TKdbServerTypes types);
    uint16_t NumCachedTables() const { return numCachedTables_; }
    void SetNumCachedTables(uint16_t count);
    uint16_t NumCachedCursors() const { return numCachedCursors_; }
    void SetNumCachedCursors(uint16_t count);

    // The engine's last error code and the number of tables it has open.
    uint32_t LastError() const;
    uint16_t NumOpenTables() const;

    // The instance of the program, or null.
    static TKdbSettings* Instance();

private:
    void ApplyProcessDate();

    std::string dateFormat_;
    int16_t numDecimals_ = 2;
    bool setProcessDate_ = true;
    bool showDeleted_ = true;
    TKdbServerTypes serverTypes_{TKdbServerType::stKDB_REMOTE, TKdbServerType::stKDB_KIS};
    uint16_t numCachedTables_ = 0;
    uint16_t numCachedCursors_ = 25;
    std::string savedShortDatePattern_;
};

}  // namespace parvell

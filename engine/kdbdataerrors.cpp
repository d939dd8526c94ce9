// Engine error reporting: CheckEngineResult and the construction of the engine errors.
#include "engine/kdbdata.h"

#include <cstdlib>

#include "data/TextCase.h"
#include "kce/kce.h"

namespace parvell {
namespace {

// True only while an EKDBDatabaseError is being built on this thread: an engine call that fails
// during the construction (the dataset's path, say) must not replace the error being built.
thread_local bool buildingEngineError = false;

constexpr uint16_t kErrorTextSize = 600;

class BuildingGuard {
public:
    BuildingGuard() { buildingEngineError = true; }
    ~BuildingGuard() { buildingEngineError = false; }
};

std::string LastErrorText(uint32_t* code) {
    char text[kErrorTextSize + 1] = {};
    uint16_t length = kErrorTextSize;
    uint32_t lastCode = 0;
    if (KdbGetLastError(&lastCode, text, &length) != 0) length = 0;
    if (code) *code = lastCode;
    return std::string(text, std::min<size_t>(length, kErrorTextSize));
}

// The column of codes 5147 to 5149: after `column "`, up to the next double quote.
std::string ColumnFromMessage(std::string_view message) {
    const std::string upper = AnsiUpperCase(message);
    const size_t marker = upper.find("COLUMN \"");
    if (marker == std::string::npos) return {};
    std::string_view rest = message.substr(marker + 8);
    rest = rest.substr(0, std::min<size_t>(rest.size(), 900));
    return std::string(rest.substr(0, rest.find('"')));
}

int32_t SqlErrorCodeFromMessage(std::string_view message) {
    const std::string upper = AnsiUpperCase(message);
    const std::string_view kNative = "NATIVEERROR = ";
    if (upper.find("ERROR 7200:") == std::string::npos) return 0;
    const size_t at = upper.find(kNative);
    if (at == std::string::npos) return 0;
    std::string number = upper.substr(at + kNative.size());
    number = number.substr(0, number.find(';'));
    char* end = nullptr;
    const long value = std::strtol(number.c_str(), &end, 10);
    if (end == number.c_str()) return 0;  // not a number: no SQL error code
    return static_cast<int32_t>(value);
}

}  // namespace

bool BuildingEngineError() {
    return buildingEngineError;
}

EKDBDatabaseError MakeKdbDatabaseError(const TKdbDataSet* dataSet, std::string message,
                                       uint32_t code) {
    if (buildingEngineError) return EKDBDatabaseError(std::move(message), code);
    BuildingGuard guard;
    EKDBDatabaseError error(message, code);
    try {
        if (dataSet) {
            error.DataSetName = dataSet->Name();
            if (dataSet->Owner()) error.DataSetOwnerName = dataSet->Owner()->Name();
            error.DatabaseName = dataSet->DatabaseName();
            error.DatabasePath = dataSet->DataPath();
            error.TableName = dataSet->TableName();
            if (code >= 5147 && code <= 5149) error.ColumnName = ColumnFromMessage(message);
        }
        error.SetSQLErrorCode(SqlErrorCodeFromMessage(message));
    } catch (...) {
        // What was gathered stays; the engine error is what matters.
    }
    if (!error.DataSetName.empty()) error.SetMessage(error.DataSetName + ": " + message);
    return error;
}

void RaiseKdbDatabaseError(const TKdbDataSet* dataSet, std::string message, uint32_t code) {
    throw MakeKdbDatabaseError(dataSet, std::move(message), code);
}

void CheckEngineResult(const TKdbDataSet* dataSet, uint32_t result) {
    if (result == 0 || buildingEngineError) return;
    uint32_t code = 0;
    std::string text = LastErrorText(&code);
    throw MakeKdbDatabaseError(dataSet, std::move(text), code);
}

KdbError ConnectionKdbError() {
    std::string text = LastErrorText(nullptr);
    if (text.empty()) KdbShowError("Kdb Exception Error");
    return KdbError(std::move(text));
}

KdbError SettingsKdbError(uint32_t code) {
    char text[kErrorTextSize + 1] = {};
    uint16_t length = kErrorTextSize;
    if (KdbGetErrorString(code, text, &length) != 0 || length == 0) {
        KdbShowError("Kdb Exception Error");
        return KdbError(std::string());
    }
    return KdbError(std::string(text, std::min<size_t>(length, kErrorTextSize)));
}

}  // namespace parvell

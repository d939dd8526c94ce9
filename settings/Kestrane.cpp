#include "settings/Kestrane.h"

#include <cstring>

#include "common/Text.h"
#include "settings/CodePage.h"
#include "settings/RegistryFile.h"
#include "settings/StoreFile.h"

namespace parvell {
namespace {

constexpr const char* kSoftware = "HKEY_CURRENT_USER\\Software\\";
constexpr const char* kOwnPrefix = "Corvantic\\";

[[noreturn]] void ThrowDamaged(const std::string& path, const store::RegParseError& error) {
    throw ERegistryException(FormatMessage(
        "The settings file \"%s\" cannot be read at line %d: %s",
        {store::Cp1252FromUtf8(path), error.line, store::Cp1252FromUtf8(error.what)}));
}

[[noreturn]] void ThrowUnreadable(const std::string& path, int error) {
    throw ERegistryException(FormatMessage("Cannot read the settings file \"%s\". %s",
                                           {store::Cp1252FromUtf8(path), std::strerror(error)}));
}

store::RegistryFile ParseOrThrow(const std::string& path, const std::string& bytes) {
    try {
        return store::RegistryFile::Parse(bytes);
    } catch (const store::RegParseError& error) {
        ThrowDamaged(path, error);
    }
}

// `subKey` is the path below Software, Windows-1252. The value comes back in UTF-8, as stored.
std::string ReadStringValueUtf8(const std::string& subKey, const std::string& ident) {
    std::string path = store::StoreFilePath();
    std::string bytes;
    int error = 0;
    switch (store::ReadStoreFile(path, bytes, error)) {
        case store::ReadOutcome::Missing:
        case store::ReadOutcome::NoAccess:
            return "";
        case store::ReadOutcome::Failed:
            ThrowUnreadable(path, error);
        case store::ReadOutcome::Read:
            break;
    }
    store::RegistryFile file = ParseOrThrow(path, bytes);
    std::string text;
    switch (file.ReadString(kSoftware + store::Utf8FromCp1252(subKey), store::Utf8FromCp1252(ident),
                            text)) {
        case store::StringRead::Missing:
            return "";
        case store::StringRead::NotAString:
            throw ERegistryException(FormatMessage("Invalid data type for '%s'", {ident}));
        case store::StringRead::Unreadable:
            throw ERegistryException(FormatMessage("Failed to get data for '%s'", {ident}));
        case store::StringRead::Found:
            break;
    }
    return text;
}

std::string ReadStringValue(const std::string& subKey, const std::string& ident) {
    return store::Cp1252FromUtf8(ReadStringValueUtf8(subKey, ident));
}

// `subKey` is the path below Software, Windows-1252; `utf8Value` is stored as it is.
void WriteStringValueUtf8(const std::string& subKey, const std::string& ident,
                          const std::string& utf8Value) {
    const std::string path = store::StoreFilePath();
    if (store::CreateStoreFolder(path) != 0) {
        throw ERegistryException(FormatMessage("Failed to create key %s", {subKey}));
    }
    store::StoreWriteLock lock(path);
    std::string bytes;
    int error = 0;
    switch (store::ReadStoreFile(path, bytes, error)) {
        case store::ReadOutcome::NoAccess:
            throw ERegistryException(FormatMessage("Failed to create key %s", {subKey}));
        case store::ReadOutcome::Failed:
            ThrowUnreadable(path, error);
        case store::ReadOutcome::Missing:
        case store::ReadOutcome::Read:
            break;
    }
    // A damaged file is reported and left as it is; writing over it would lose what it holds.
    store::RegistryFile file = ParseOrThrow(path, bytes);
    file.SetString(kSoftware + store::Utf8FromCp1252(subKey), store::Utf8FromCp1252(ident),
                   utf8Value.substr(0, utf8Value.find('\0')));
    if (store::ReplaceStoreFile(path, file.Serialize()) != 0) {
        throw ERegistryException(FormatMessage("Failed to set data for '%s'", {ident}));
    }
}

void WriteStringValue(const std::string& subKey, const std::string& ident,
                      const std::string& value) {
    WriteStringValueUtf8(subKey, ident, store::Utf8FromCp1252(value.substr(0, value.find('\0'))));
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

std::string ReadSetting(const std::string& section, const std::string& ident) {
    return ReadStringValue(kOwnPrefix + section, ident);
}

std::string ReadCurrentPractice() {
    return ReadStringValue("Ostrel", "Current Practice");
}

void WriteSetting(const std::string& section, const std::string& ident, const std::string& value) {
    WriteStringValue(kOwnPrefix + section, ident, value);
}

std::string ReadSettingUtf8(const std::string& section, const std::string& ident) {
    return ReadStringValueUtf8(kOwnPrefix + section, ident);
}

void WriteSettingUtf8(const std::string& section, const std::string& ident,
                      const std::string& value) {
    WriteStringValueUtf8(kOwnPrefix + section, ident, value);
}

void WriteCurrentPractice(const std::string& folder) {
    WriteStringValue("Ostrel", "Current Practice", folder);
}

std::string NormalizeFolder(const std::string& path) {
    if (path.empty()) return path;
    const bool thisSystem = path.find('/') != std::string::npos;
    std::string folder = path;
    if (!IsSeparator(folder.back())) folder += thisSystem ? '/' : '\\';
    if (!thisSystem) {
        for (char& c : folder) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return folder;
}

}  // namespace parvell

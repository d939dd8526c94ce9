// TKdbConnection: properties, connecting and disconnecting, aliases and the registry.
#include "engine/kdbcnnct.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "common/Text.h"
#include "data/TextCase.h"
#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<TKdbConnection*>& Registry() {
    static std::vector<TKdbConnection*> connections;
    return connections;
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && AnsiSameText(text.substr(text.size() - end.size()), end);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// The value of key in section of an ini file; "" when the file, section or key is missing.
std::string ReadIniValue(const std::string& file, std::string_view section, std::string_view key) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';') continue;
        if (text.front() == '[') {
            const size_t close = text.find(']');
            inSection = close != std::string::npos &&
                        AnsiSameText(Trim(text.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        const size_t equals = text.find('=');
        if (equals == std::string::npos) continue;
        if (AnsiSameText(Trim(text.substr(0, equals)), key)) return Trim(text.substr(equals + 1));
    }
    return {};
}

// Cuts text to at most count characters.
std::string Cut(const std::string& text, size_t count) {
    return text.substr(0, std::min(text.size(), count));
}

}  // namespace

TKdbLoginDialog KdbLoginDialog;

std::vector<TKdbConnection*> ConnectionRegistry() {
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Registry();
}

uint16_t ServerTypeMask(TKdbServerTypes types) {
    uint16_t mask = 0;
    if (types.Contains(TKdbServerType::stKDB_LOCAL)) mask |= 1;
    if (types.Contains(TKdbServerType::stKDB_REMOTE)) mask |= 2;
    if (types.Contains(TKdbServerType::stKDB_KIS)) mask |= 4;
    return mask;
}

std::string FindKdbIniFile() {
    if (const char* folder = std::getenv("kdbini_path")) {
        std::string path = folder;
        if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
        path += "kdb.ini";
        if (FileExists(path)) return path;
    }
    if (const char* searchPath = std::getenv("PATH")) {
        std::string_view rest = searchPath;
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            std::string folder(rest.substr(0, colon));
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
            if (folder.empty()) folder.push_back('.');
            std::string path = std::move(folder);
            path += "/kdb.ini";
            if (path.size() <= 260 && FileExists(path)) return path;
        }
    }
    return "kdb.ini";
}

TKdbIniAlias ReadKdbIniAlias(const std::string& alias) {
    TKdbIniAlias result;
    std::string value = ReadIniValue(FindKdbIniFile(), "Databases", alias);
    const size_t semicolon = value.find(';');
    if (semicolon != std::string::npos) {
        const char letter =
            semicolon + 1 < value.size() ? AnsiUpperChar(value[semicolon + 1]) : '\0';
        result.TypeLetter = letter;
        switch (letter) {
            case 'N':
                result.TableType = TKdbAliasTableType::NTX;
                break;
            case 'C':
                result.TableType = TKdbAliasTableType::CDX;
                break;
            case 'K':
                result.TableType = TKdbAliasTableType::KDT;
                break;
            case 'V':
                result.TableType = TKdbAliasTableType::VFP;
                break;
            default:
                break;
        }
        value.resize(semicolon);
    }
    result.Path = value;
    result.Found = !value.empty();
    return result;
}

TKdbConnection::TKdbConnection(TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)), creatingThread_(std::this_thread::get_id()) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().push_back(this);
}

TKdbConnection::~TKdbConnection() {
    // Nothing may leave a destructor: a failure here would end the program, so the datasets'
    // errors and the engine's answer to the disconnect are dropped.
    const std::vector<TKdbDataSet*> dataSets = dataSets_;
    if (connected_) {
        for (TKdbDataSet* dataSet : dataSets) {
            try {
                dataSet->SetActive(false);
            } catch (...) {
            }
            dataSet->ConnectionClosed();
        }
        CloseCachedStatements();
        const uint32_t result = KdbDisconnect(handle_);
        connected_ = false;
        handle_ = 0;
        if (result == 0 && OnDisconnect) {
            try {
                OnDisconnect(*this);
            } catch (...) {
            }
        }
    }
    for (TKdbDataSet* dataSet : dataSets) dataSet->connection_ = nullptr;
    dataSets_.clear();
    std::lock_guard<std::mutex> guard(RegistryLock());
    auto& registry = Registry();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
}

void TKdbConnection::SetName(std::string name) {
    const std::string oldName = Name();
    const std::string ownerName = Owner() ? Owner()->Name() : std::string();
    for (TKdbDataSet* dataSet : TKdbDataSet::RegisteredDataSets()) {
        if (dataSet->KdbConnection() && dataSet->KdbConnection() != this) continue;
        if (AnsiSameText(dataSet->databaseName_, oldName)) {
            dataSet->databaseName_ = name;
        } else if (!ownerName.empty() &&
                   AnsiSameText(dataSet->databaseName_, ownerName + "." + oldName)) {
            dataSet->databaseName_ = ownerName + "." + name;
        }
    }
    TComponent::SetName(std::move(name));
}

void TKdbConnection::SetConnectPath(const std::string& path) {
    if (connected_) {
        throw KdbConnectionError(
            "The TKdbConnection.ConnectPath may not be changed when IsConnected is TRUE");
    }
    connectPath_ = path;
    isDictionary_ = EndsWithNoCase(path, ".KDD");
    aliasName_.clear();
    aliasPath_.clear();
    aliasTableType_ = TKdbAliasTableType::None;
}

void TKdbConnection::SetAliasName(const std::string& name) {
    if (connected_) {
        throw KdbConnectionError(
            "The TKdbConnection.AliasName may not be changed when IsConnected is TRUE");
    }
    aliasValid_ = true;
    if (name.empty()) {
        aliasName_.clear();
        aliasPath_.clear();
        aliasTableType_ = TKdbAliasTableType::None;
        return;
    }
    const TKdbIniAlias alias = ReadKdbIniAlias(name);
    if (!alias.Found) {
        aliasValid_ = false;
        aliasName_ = name;
        aliasPath_.clear();
        aliasTableType_ = TKdbAliasTableType::None;
        return;
    }
    connectPath_.clear();
    aliasName_ = name;
    aliasPath_ = alias.Path;
    aliasTableType_ = alias.TableType;
    isDictionary_ = EndsWithNoCase(aliasPath_, ".KDD");
    TKdbTableTypes type;
    switch (alias.TableType) {
        case TKdbAliasTableType::CDX:
            type = TKdbTableTypes::ttKdbCDX;
            break;
        case TKdbAliasTableType::NTX:
            type = TKdbTableTypes::ttKdbNTX;
            break;
        case TKdbAliasTableType::KDT:
            type = TKdbTableTypes::ttKdbKDT;
            break;
        case TKdbAliasTableType::VFP:
            type = TKdbTableTypes::ttKdbVFP;
            break;
        default:
            return;
    }
    for (TKdbDataSet* dataSet : TKdbDataSet::RegisteredDataSets()) {
        if (dataSet->Owner() != Owner() || dataSet->KdbConnection() != this) continue;
        if (dataSet->DatabaseName().empty() || AnsiSameText(dataSet->DatabaseName(), Name())) {
            dataSet->tableType_ = type;
        }
    }
}

std::string TKdbConnection::DataPath() const {
    return connectPath_.empty() ? aliasPath_ : connectPath_;
}

std::string TKdbConnection::DataFolder() const {
    std::string path = DataPath();
    if (path.size() > 4 && EndsWithNoCase(path, ".KDD")) {
        const size_t slash = path.rfind('/');
        const size_t backslash = path.rfind('\\');
        if (slash != std::string::npos) return path.substr(0, slash);
        if (backslash != std::string::npos) return path.substr(0, backslash);
        return ".\\";
    }
    return path;
}

std::string TKdbConnection::ServerName() const {
    if (!connected_) {
        if (Designing()) return {};
        throw KdbConnectionError("Must be connected to get Korrin server name.");
    }
    char name[256] = {};
    uint16_t length = 255;
    if (KdbGetServerName(handle_, name, &length) != 0) throw ConnectionKdbError();
    return std::string(name, std::min<uint16_t>(length, 255));
}

void TKdbConnection::SetIsConnected(bool value) {
    if (value == connected_) return;
    if (value) {
        DoConnect();
    } else {
        DoDisconnect();
    }
}

void TKdbConnection::Loaded() {
    if (connectAfterLoad_ && !connected_) {
        connectAfterLoad_ = false;
        DoConnect();
    }
}

void TKdbConnection::DoConnect() {
    if (Loading()) {
        connectAfterLoad_ = true;
        return;
    }
    groupsRead_ = false;
    Fire(BeforeConnect);
    if (!aliasValid_) {
        SetAliasName(std::string(aliasName_));
        if (!aliasValid_) throw KdbConnectionError("TKdbConnection.AliasName is not valid");
    }
    std::string path = DataPath();
    if (path.empty()) {
        throw KdbConnectionError(
            "Must specify connection string before getting a server connection.");
    }
    path = Cut(path, 254);

    std::string user = Username;
    std::string password = Password;
    if (LoginPrompt && isDictionary_) {
        if (OnLogin) {
            user.clear();
            password.clear();
            OnLogin(*this, user, password);
        } else if (KdbLoginDialog) {
            if (!KdbLoginDialog(Name(), user, password)) {
                throw EDatabaseError(FormatMessage("Cannot connect to database '%s'", {Name()}));
            }
        }
        Username = user;
        if (!Designing()) Password = password;
    }
    user = Cut(user, 260);
    password = Cut(password, 260);
    if (!isDictionary_) {
        user.clear();
        password.clear();
    }

    uint32_t options = 0;
    if (MiddleTierConnection) options |= 1;
    if (StoredProcedureConnection) options |= 2;
    switch (Compression) {
        case TKdbCompressionTypes::ccKdbCompressInternet:
            options |= 12;
            break;
        case TKdbCompressionTypes::ccKdbCompressAlways:
            options |= 4;
            break;
        case TKdbCompressionTypes::ccKdbCompressNever:
            options |= 8;
            break;
        default:
            break;
    }
    switch (CommunicationType) {
        case TKdbCommunicationType::ctKdbUDPIP:
            options |= 32;
            break;
        case TKdbCommunicationType::ctKdbIPX:
            options |= 64;
            break;
        case TKdbCommunicationType::ctKdbTCPIP:
            options |= 128;
            break;
        default:
            break;
    }

    uint32_t handle = 0;
    CheckEngineResult(nullptr, KdbConnect60(path.c_str(), ServerTypeMask(KdbServerTypes),
                                            user.c_str(), password.c_str(), options, &handle));
    if (sqlTimeout_ != 0) {
        const uint32_t result = KdbSetSQLTimeout(handle, sqlTimeout_);
        if (result != 0) {
            // Keep the failure's text; the handle must not leak.
            try {
                CheckEngineResult(nullptr, result);
            } catch (...) {
                KdbDisconnect(handle);
                throw;
            }
        }
    }
    handle_ = handle;
    connected_ = true;
    if (!applicationId_.empty()) SendApplicationID();
    Fire(AfterConnect);
    Fire(OnConnect);
}

void TKdbConnection::DoDisconnect() {
    groupsRead_ = false;
    Fire(BeforeDisconnect);
    for (TKdbDataSet* dataSet : std::vector<TKdbDataSet*>(dataSets_)) {
        try {
            dataSet->SetActive(false);
        } catch (...) {
            // One dataset that fails to close must not keep the others or the handle open.
        }
        dataSet->ConnectionClosed();
    }
    CloseCachedStatements();
    std::optional<KdbError> failure;
    if (KdbDisconnect(handle_) != 0) failure = ConnectionKdbError();
    connected_ = false;
    handle_ = 0;
    Fire(AfterDisconnect);
    Fire(OnDisconnect);
    if (failure) throw *failure;
}

void TKdbConnection::CheckConnected() const {
    if (!connected_) throw KdbConnectionError("No connection to Korrin server.");
}

void TKdbConnection::SetSQLTimeout(uint32_t seconds) {
    sqlTimeout_ = seconds;
    if (connected_) CheckEngineResult(nullptr, KdbSetSQLTimeout(handle_, seconds));
}

void TKdbConnection::RegisterDataSet(TKdbDataSet* dataSet) {
    dataSets_.push_back(dataSet);
}

void TKdbConnection::UnregisterDataSet(TKdbDataSet* dataSet) {
    auto found = std::find(dataSets_.begin(), dataSets_.end(), dataSet);
    if (found != dataSets_.end()) dataSets_.erase(found);
}

}  // namespace parvell

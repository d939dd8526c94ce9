#pragma once
// TKdbConnection: owns one engine connection handle. Datasets bind to it and ask it for the
// handle when they open; it connects on demand, closes its datasets when it disconnects, and
// carries the connection-wide options (server types, credentials, compression, SQL time-out,
// collation). Also here: the process-wide list of live connections and the kdb.ini aliases.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "data/Formats.h"
#include "engine/KdbComponent.h"
#include "engine/KdbParams.h"

namespace parvell {

class TKdbDataSet;
class TKdbConnection;

enum class TKdbServerType : uint8_t { stKDB_REMOTE, stKDB_LOCAL, stKDB_KIS };

class TKdbServerTypes {
public:
    constexpr TKdbServerTypes() = default;
    constexpr TKdbServerTypes(std::initializer_list<TKdbServerType> members) {
        for (auto m : members) bits_ = static_cast<uint8_t>(bits_ | (1u << static_cast<int>(m)));
    }
    constexpr bool Contains(TKdbServerType t) const { return (bits_ >> static_cast<int>(t)) & 1u; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TKdbServerTypes&) const = default;

private:
    uint8_t bits_ = 0;
};

// The engine's server-type mask: local 1, remote 2, internet 4 (not the enumeration order).
uint16_t ServerTypeMask(TKdbServerTypes types);

enum class TKdbCompressionTypes : uint8_t {
    ccKdbCompressionNotSet,
    ccKdbCompressInternet,
    ccKdbCompressAlways,
    ccKdbCompressNever,
};
enum class TKdbCommunicationType : uint8_t { ctKdbDefault, ctKdbUDPIP, ctKdbIPX, ctKdbTCPIP };
enum class TKdbAliasTableType : uint8_t { None, CDX, NTX, KDT, VFP };

// An alias of kdb.ini, section "Databases": "path" or "path;T" with T the table type letter.
struct TKdbIniAlias {
    bool Found = false;
    std::string Path;
    TKdbAliasTableType TableType = TKdbAliasTableType::None;
    char TypeLetter = 0;  // the upper-cased letter after ";", 0 without one
};
TKdbIniAlias ReadKdbIniAlias(const std::string& alias);
// "$kdbini_path/kdb.ini" when that file exists, else the first kdb.ini on the search path (PATH),
// else the bare name "kdb.ini".
std::string FindKdbIniFile();

// A login dialog the application may install: database name, in-out user name and password;
// false when the user cancelled.
using TKdbLoginDialog = std::function<bool(const std::string&, std::string&, std::string&)>;
extern TKdbLoginDialog KdbLoginDialog;

using TKdbNotifyEvent = std::function<void(TKdbConnection&)>;
using TKdbDatabaseLoginEvent = std::function<void(TKdbConnection&, std::string&, std::string&)>;

// The process-wide list of live connections, lock-protected. Traverse with a copy.
std::vector<TKdbConnection*> ConnectionRegistry();

class TKdbConnection : public TComponent {
public:
    explicit TKdbConnection(TComponent* owner = nullptr, std::string name = {});
    // Closes a live connection, its datasets first; failures are not reported from here.
    ~TKdbConnection() override;

    // Renaming carries the datasets whose DatabaseName named the connection along.
    void SetName(std::string name) override;

    bool IsConnected() const { return connected_; }
    void SetIsConnected(bool value);
    void Connect() { SetIsConnected(true); }
    void Disconnect() { SetIsConnected(false); }

    const std::string& ConnectPath() const { return connectPath_; }
    void SetConnectPath(const std::string& path);
    const std::string& AliasName() const { return aliasName_; }
    void SetAliasName(const std::string& name);
    bool AliasValid() const { return aliasValid_; }
    const std::string& AliasPath() const { return aliasPath_; }
    TKdbAliasTableType AliasTableType() const { return aliasTableType_; }
    bool IsDictionaryConnection() const { return isDictionary_; }
    uint32_t ConnectionHandle() const { return handle_; }
    std::string ServerName() const;
    // ConnectPath when set, else AliasPath.
    std::string DataPath() const;
    // DataPath without the dictionary file's name.
    std::string DataFolder() const;

    TKdbServerTypes KdbServerTypes;
    bool LoginPrompt = true;
    std::string Username;
    std::string Password;
    bool MiddleTierConnection = false;
    bool StoreConnected = true;
    bool StoredProcedureConnection = false;
    TKdbCompressionTypes Compression = TKdbCompressionTypes::ccKdbCompressionNotSet;
    TKdbCommunicationType CommunicationType = TKdbCommunicationType::ctKdbDefault;
    bool ReadOnly = false;
    bool CancelOnRollback = true;
    std::string KdbCollation;

    uint32_t SQLTimeout() const { return sqlTimeout_; }
    void SetSQLTimeout(uint32_t seconds);
    // Connected: asked of the server; else the stored value.
    std::string ApplicationID();
    void SetApplicationID(const std::string& id);

    TKdbNotifyEvent AfterCommit, BeforeCommit, AfterRollback, BeforeRollback, OnConnect,
        OnDisconnect, AfterConnect, BeforeConnect, AfterDisconnect, BeforeDisconnect;
    TKdbDatabaseLoginEvent OnLogin;

    // The datasets bound to this connection (not owned).
    void RegisterDataSet(TKdbDataSet* dataSet);
    void UnregisterDataSet(TKdbDataSet* dataSet);
    int DataSetCount() const { return static_cast<int>(dataSets_.size()); }
    TKdbDataSet* DataSetAt(int index) const { return dataSets_.at(static_cast<size_t>(index)); }
    std::thread::id CreatingThreadId() const { return creatingThread_; }

    // Operations of the connection; those that need a connection raise KdbConnectionError
    // "No connection to Korrin server." without one.
    std::string ConnectionType() const;
    bool IsAlive() const;
    bool InTransaction() const;
    uint32_t TransactionCount() const;
    void BeginTransaction();
    void Commit();
    void Rollback();
    void RollbackToSavepoint(const std::string& name);
    void CreateSavepoint(const std::string& name);
    // Table names through the engine's table search. A folder is searched with DataPath (without
    // a trailing separator), "\\" and the mask, or "*.kdt" for a KDT alias and "*.dbf" for an
    // alias of another table type; a dictionary with an empty text. The two-list form gives each
    // table's name and path and searches with the mask "*.*" the same way.
    void GetTableNames(std::vector<std::string>& names, const std::string& mask = "*.*");
    void GetTableNames(std::vector<std::string>& names, std::vector<std::string>& paths);
    void GetDictionaryTableNames(std::vector<std::string>& names);
    const std::vector<std::string>& UserGroups();
    // Runs a statement, reusing a prepared one of the statement cache. Without a cursor request
    // returns the affected-row count; with one, *cursor receives the cursor handle (0: none).
    int32_t Execute(const std::string& sql, const TParams* params = nullptr,
                    uint32_t* cursor = nullptr, bool keepPrepared = false);
    TDateTime GetServerTime();
    int ActiveLinkCount() const;
    std::vector<std::string> GetActiveLinkNames() const;
    void CloseCachedTables();
    void CloseCachedStatements();

protected:
    void Loaded() override;

private:
    void DoConnect();
    void DoDisconnect();
    void CheckConnected() const;
    std::string TableSearchText(const std::string& mask) const;
    void SendApplicationID();
    void Fire(const TKdbNotifyEvent& event) {
        if (event) event(*this);
    }

    struct CachedStatement {
        size_t Hash;
        std::string Sql;
        uint32_t Handle;
    };

    uint32_t handle_ = 0;
    bool connected_ = false;
    std::string connectPath_;
    std::string aliasName_;
    bool aliasValid_ = true;
    std::string aliasPath_;
    TKdbAliasTableType aliasTableType_ = TKdbAliasTableType::None;
    bool isDictionary_ = false;
    bool connectAfterLoad_ = false;
    uint32_t sqlTimeout_ = 0;
    std::string applicationId_;
    std::vector<TKdbDataSet*> dataSets_;
    std::vector<CachedStatement> statementCache_;
    std::thread::id creatingThread_;
    std::vector<std::string> groups_;
    bool groupsRead_ = false;
};

}  // namespace parvell

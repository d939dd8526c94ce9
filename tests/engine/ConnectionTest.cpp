// TKdbConnection through the real engine: connecting and disconnecting with their events,
// credentials, paths and aliases, bound datasets, and the further operations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "data/Formats.h"
#include "engine/kdbcnnct.h"
#include "engine/kdbtable.h"
#include "kce/kce.h"
#include "tests/support/EngineDictionary.h"

namespace parvell {
namespace {

using enginetest::TempDir;

class ConnectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        enginetest::MakeDictionary(Dictionary(),
                                   "CREATE TABLE people (id INTEGER, name CHAR(20));;"
                                   "INSERT INTO people VALUES (1, 'Smith'), (2, 'Jones')");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string Dictionary() { return dir_->File("mwddf.kdd"); }

    void SetUp() override {
        connection_ = std::make_unique<TKdbConnection>(&form_, "KdbCPath");
        connection_->KdbServerTypes = {TKdbServerType::stKDB_REMOTE, TKdbServerType::stKDB_LOCAL};
        connection_->LoginPrompt = false;
        connection_->Username = enginetest::kUser;
        connection_->Password = enginetest::kPassword;
        connection_->SetConnectPath(Dictionary());
    }

    static TempDir* dir_;
    TComponent form_{nullptr, "Form1"};
    std::unique_ptr<TKdbConnection> connection_;
};

TempDir* ConnectionTest::dir_ = nullptr;

TEST(ConnectionDefaults, NewInstance) {
    TKdbConnection c;
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.ConnectionHandle(), 0u);
    EXPECT_TRUE(c.KdbServerTypes.Empty());
    EXPECT_TRUE(c.LoginPrompt);
    EXPECT_TRUE(c.StoreConnected);
    EXPECT_TRUE(c.CancelOnRollback);
    EXPECT_TRUE(c.AliasValid());
    EXPECT_FALSE(c.ReadOnly || c.MiddleTierConnection || c.StoredProcedureConnection);
    EXPECT_EQ(c.Compression, TKdbCompressionTypes::ccKdbCompressionNotSet);
    EXPECT_EQ(c.CommunicationType, TKdbCommunicationType::ctKdbDefault);
    EXPECT_EQ(c.SQLTimeout(), 0u);
    EXPECT_EQ(c.AliasTableType(), TKdbAliasTableType::None);
    EXPECT_EQ(c.ApplicationID(), "");
}

TEST(ConnectionDefaults, ServerTypeMaskDoesNotFollowTheEnumerationOrder) {
    using T = TKdbServerType;
    EXPECT_EQ(ServerTypeMask({}), 0);
    EXPECT_EQ(ServerTypeMask({T::stKDB_LOCAL}), 1);
    EXPECT_EQ(ServerTypeMask({T::stKDB_REMOTE}), 2);
    EXPECT_EQ(ServerTypeMask({T::stKDB_KIS}), 4);
    EXPECT_EQ(ServerTypeMask({T::stKDB_REMOTE, T::stKDB_LOCAL}), 3);
}

TEST(ConnectionDefaults, DataFolderCutsTheDictionaryFileName) {
    struct Case {
        const char* path;
        const char* folder;
    };
    const Case cases[] = {
        {"/data/practice/mwddf.kdd", "/data/practice"},
        {"C:\\MW\\DATA\\MWDDF.KDD", "C:\\MW\\DATA"},
        {"/data/x\\mwddf.Kdd", "/data"},  // a "/" wins over later backslashes
        {"mwddf.kdd", ".\\"},
        {".kdd", ".kdd"},
        {"/data/practice", "/data/practice"},
    };
    for (const Case& c : cases) {
        TKdbConnection connection;
        connection.SetConnectPath(c.path);
        EXPECT_EQ(connection.DataFolder(), c.folder) << c.path;
    }
}

TEST_F(ConnectionTest, ConnectAndDisconnectFireTheirEventsInOrder) {
    std::vector<std::string> events;
    auto log = [&](const char* name) {
        return [&events, name](TKdbConnection&) { events.push_back(name); };
    };
    connection_->BeforeConnect = log("BeforeConnect");
    connection_->AfterConnect = log("AfterConnect");
    connection_->OnConnect = log("OnConnect");
    connection_->BeforeDisconnect = log("BeforeDisconnect");
    connection_->AfterDisconnect = log("AfterDisconnect");
    connection_->OnDisconnect = log("OnDisconnect");

    connection_->SetIsConnected(false);  // already disconnected: nothing happens
    EXPECT_TRUE(events.empty());
    connection_->SetIsConnected(true);
    EXPECT_TRUE(connection_->IsConnected());
    EXPECT_NE(connection_->ConnectionHandle(), 0u);
    connection_->SetIsConnected(true);
    connection_->SetIsConnected(false);
    EXPECT_FALSE(connection_->IsConnected());
    EXPECT_EQ(connection_->ConnectionHandle(), 0u);
    EXPECT_EQ(events,
              (std::vector<std::string>{"BeforeConnect", "AfterConnect", "OnConnect",
                                        "BeforeDisconnect", "AfterDisconnect", "OnDisconnect"}));
}

TEST_F(ConnectionTest, DictionaryConnectionsSendTheCredentials) {
    connection_->Password = "wrong";
    try {
        connection_->SetIsConnected(true);
        FAIL();
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(error.ErrorCode(), 5015u);
        EXPECT_NE(error.Message().rfind("KdbCPath", 0), 0u);  // the bare engine text
    }
    EXPECT_FALSE(connection_->IsConnected());

    // Upper-case extension: still a dictionary, still checked.
    TempDir dir;
    enginetest::MakeDictionary(dir.File("UPPER.KDD"), "");
    connection_->SetConnectPath(dir.File("UPPER.KDD"));
    EXPECT_TRUE(connection_->IsDictionaryConnection());
    EXPECT_THROW(connection_->SetIsConnected(true), EKDBDatabaseError);
    connection_->Password = enginetest::kPassword;
    connection_->SetIsConnected(true);
}

TEST_F(ConnectionTest, FolderConnectionsSendNoCredentials) {
    TempDir folder;
    connection_->Username = "nobody";
    connection_->Password = "wrong";
    connection_->SetConnectPath(folder.Path());
    EXPECT_FALSE(connection_->IsDictionaryConnection());
    connection_->SetIsConnected(true);
    EXPECT_TRUE(connection_->IsConnected());
}

TEST_F(ConnectionTest, LoginEventOnlyWithLoginPromptOnADictionary) {
    int logins = 0;
    connection_->OnLogin = [&](TKdbConnection&, std::string& user, std::string& password) {
        ++logins;
        EXPECT_EQ(user, "");
        user = enginetest::kUser;
        password = enginetest::kPassword;
    };
    connection_->SetIsConnected(true);
    EXPECT_EQ(logins, 0);
    connection_->SetIsConnected(false);
    connection_->LoginPrompt = true;
    connection_->Username = "someone";
    connection_->SetIsConnected(true);
    EXPECT_EQ(logins, 1);
    EXPECT_EQ(connection_->Username, enginetest::kUser);
}

TEST_F(ConnectionTest, CancelledLoginDialogRefusesTheConnection) {
    connection_->LoginPrompt = true;
    KdbLoginDialog = [](const std::string& name, std::string&, std::string&) { return false; };
    try {
        connection_->SetIsConnected(true);
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_EQ(error.Message(), "Cannot connect to database 'KdbCPath'");
    }
    KdbLoginDialog = nullptr;
}

TEST_F(ConnectionTest, LongPathsReachTheEngineCutTo254Characters) {
    std::string path = "/nonexistent/";
    while (path.size() < 300) path += "abcdefghij/";
    path.resize(300);
    connection_->SetConnectPath(path);
    try {
        connection_->SetIsConnected(true);
        FAIL();
    } catch (const EKDBDatabaseError& error) {
        EXPECT_NE(error.Message().find(path.substr(0, 254)), std::string::npos) << error.Message();
        EXPECT_EQ(error.Message().find(path.substr(0, 255)), std::string::npos);
    }
}

TEST_F(ConnectionTest, PathAndAliasAreRefusedWhileConnected) {
    connection_->SetIsConnected(true);
    try {
        connection_->SetConnectPath("/x");
        FAIL();
    } catch (const KdbConnectionError& error) {
        EXPECT_EQ(error.Message(),
                  "The TKdbConnection.ConnectPath may not be changed when IsConnected is TRUE");
    }
    try {
        connection_->SetAliasName("x");
        FAIL();
    } catch (const KdbConnectionError& error) {
        EXPECT_EQ(error.Message(),
                  "The TKdbConnection.AliasName may not be changed when IsConnected is TRUE");
    }
    TKdbConnection empty;
    try {
        empty.SetIsConnected(true);
        FAIL();
    } catch (const KdbConnectionError& error) {
        EXPECT_EQ(error.Message(),
                  "Must specify connection string before getting a server connection.");
    }
}

TEST_F(ConnectionTest, DisconnectClosesEveryDatasetEvenWhenOneFails) {
    TKdbQuery first(&form_, "First");
    TKdbQuery second(&form_, "Second");
    for (TKdbQuery* query : {&first, &second}) {
        query->SetKdbConnection(connection_.get());
        query->SQL().SetText("SELECT * FROM people");
        query->SetActive(true);
    }
    first.Events().BeforeClose = [](TDataSet&) { throw Exception("close failed"); };
    connection_->SetIsConnected(false);
    EXPECT_FALSE(connection_->IsConnected());
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(connection_->DataSetCount(), 2);  // closed, not unbound
    first.Events().BeforeClose = nullptr;
    uint16_t open = 99;
    KdbGetNumOpenTables(&open);
    EXPECT_EQ(open, 0);
}

TEST_F(ConnectionTest, DatabaseNameBindsTheNamedConnection) {
    TKdbQuery query(&form_, "KdbTable1");
    query.SetDatabaseName("kdbcpath");
    EXPECT_EQ(query.KdbConnection(), connection_.get());
    EXPECT_EQ(query.DataPath(), dir_->Path());
    query.SetDatabaseName("");
    EXPECT_EQ(query.KdbConnection(), nullptr);
    query.SetDatabaseName("Form1.KdbCPath");
    EXPECT_EQ(query.KdbConnection(), connection_.get());
    // Renaming the connection carries the name along.
    connection_->SetName("Other");
    EXPECT_EQ(query.DatabaseName(), "Form1.Other");
}

TEST_F(ConnectionTest, OperationsNeedAConnection) {
    EXPECT_EQ(connection_->ConnectionType(), "");
    EXPECT_FALSE(connection_->IsAlive());
    try {
        connection_->BeginTransaction();
        FAIL();
    } catch (const KdbConnectionError& error) {
        EXPECT_EQ(error.Message(), "No connection to Korrin server.");
    }
    EXPECT_THROW(connection_->InTransaction(), KdbConnectionError);
    try {
        connection_->ServerName();
        FAIL();
    } catch (const KdbConnectionError& error) {
        EXPECT_EQ(error.Message(), "Must be connected to get Korrin server name.");
    }
    EXPECT_TRUE(connection_->UserGroups().empty());
}

TEST_F(ConnectionTest, FurtherOperationsOnALiveConnection) {
    connection_->SetIsConnected(true);
    EXPECT_EQ(connection_->ServerName(), "LOCAL");
    EXPECT_EQ(connection_->ConnectionType(), "Local");
    EXPECT_TRUE(connection_->IsAlive());

    std::vector<std::string> names;
    connection_->GetDictionaryTableNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"people"});
    names.clear();
    connection_->GetTableNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"people"});

    connection_->BeginTransaction();
    EXPECT_TRUE(connection_->InTransaction());
    TParams params;
    params.Add("id").SetAsInteger(9);
    params.Add("name").SetAsString("Brown");
    EXPECT_EQ(connection_->Execute("INSERT INTO people VALUES (:id, :name)", &params), 1);
    connection_->Rollback();
    EXPECT_FALSE(connection_->InTransaction());
    EXPECT_EQ(connection_->Execute("UPDATE people SET name = name"), 2);

    uint32_t cursor = 0;
    connection_->Execute("SELECT * FROM people", nullptr, &cursor, true);
    ASSERT_NE(cursor, 0u);
    uint32_t count = 0;
    KdbGetRecordCount(cursor, 2, &count);
    EXPECT_EQ(count, 2u);
    KdbCloseTable(cursor);

    connection_->SetApplicationID("Parvell");
    EXPECT_EQ(connection_->ApplicationID(), "Parvell");
    const TDateTime now = connection_->GetServerTime();
    EXPECT_GT(now, 45000.0);  // after 2023
    EXPECT_EQ(connection_->ActiveLinkCount(), 0);
    EXPECT_TRUE(connection_->UserGroups().empty());
}

class AliasTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream ini(dir_.File("kdb.ini"));
        ini << "[Other]\nkdt=/wrong\n\n[Databases]\n"
               "kdt = "
            << dir_.Path() << ";k\n"
            << "plain=/data/plain\n"
               "odd=/data/odd;x\n"
               "vfp=/data/v;V\n"
               "cdx="
            << dir_.Path()
            << ";c\n"
               "dict="
            << dir_.File("mwddf.kdd") << "\n";
        const char* old = std::getenv("kdbini_path");
        if (old) oldPath_ = old;
        hadPath_ = old != nullptr;
        setenv("kdbini_path", dir_.Path().c_str(), 1);
    }
    void TearDown() override {
        if (hadPath_) {
            setenv("kdbini_path", oldPath_.c_str(), 1);
        } else {
            unsetenv("kdbini_path");
        }
    }
    TempDir dir_;
    std::string oldPath_;
    bool hadPath_ = false;
};

TEST_F(AliasTest, AliasValuesGiveAPathAndATableType) {
    EXPECT_EQ(FindKdbIniFile(), dir_.File("kdb.ini"));
    struct Case {
        const char* alias;
        bool found;
        std::string path;
        TKdbAliasTableType type;
    };
    const Case cases[] = {
        {"KDT", true, dir_.Path(), TKdbAliasTableType::KDT},
        {"plain", true, "/data/plain", TKdbAliasTableType::None},
        {"odd", true, "/data/odd", TKdbAliasTableType::None},
        {"vfp", true, "/data/v", TKdbAliasTableType::VFP},
        {"missing", false, "", TKdbAliasTableType::None},
    };
    for (const Case& c : cases) {
        const TKdbIniAlias alias = ReadKdbIniAlias(c.alias);
        EXPECT_EQ(alias.Found, c.found) << c.alias;
        EXPECT_EQ(alias.Path, c.path) << c.alias;
        EXPECT_EQ(alias.TableType, c.type) << c.alias;
    }
}

TEST_F(AliasTest, AliasAndPathClearEachOther) {
    TKdbConnection connection;
    connection.SetConnectPath("/somewhere");
    connection.SetAliasName("plain");
    EXPECT_EQ(connection.ConnectPath(), "");
    EXPECT_EQ(connection.DataPath(), "/data/plain");
    connection.SetConnectPath("/elsewhere");
    EXPECT_EQ(connection.AliasName(), "");
    EXPECT_EQ(connection.AliasPath(), "");

    connection.SetAliasName("missing");
    EXPECT_FALSE(connection.AliasValid());
    EXPECT_EQ(connection.AliasName(), "missing");
    try {
        connection.SetIsConnected(true);
        FAIL();
    } catch (const KdbConnectionError& error) {
        EXPECT_EQ(error.Message(), "TKdbConnection.AliasName is not valid");
    }
}

TEST_F(AliasTest, TableNamesListTheTablesTheMaskOfTheAliasTypeSelects) {
    // Beside kdb.ini: a table with its memo file, a database container and a text file.
    for (const char* file : {"people.dbf", "people.fpt", "mwddf.dbc", "notes.txt"})
        std::ofstream(dir_.File(file));
    struct Case {
        const char* alias;  // "" for the folder path itself
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"", {"people"}},     // the mask as given, "*.*"
        {"cdx", {"people"}},  // "*.dbf"
        {"KDT", {}},          // "*.kdt": this folder holds no such table
    };
    for (const Case& c : cases) {
        TKdbConnection connection;
        connection.KdbServerTypes = {TKdbServerType::stKDB_LOCAL};
        if (*c.alias) {
            connection.SetAliasName(c.alias);
        } else {
            connection.SetConnectPath(dir_.Path() + "/");
        }
        connection.SetIsConnected(true);
        std::vector<std::string> names;
        connection.GetTableNames(names);
        EXPECT_EQ(names, c.names) << c.alias;
        names.clear();
        std::vector<std::string> paths;
        connection.GetTableNames(names, paths);
        EXPECT_EQ(names, c.names) << c.alias;
        EXPECT_EQ(paths.size(), c.names.size()) << c.alias;
        if (!paths.empty()) {
            EXPECT_EQ(paths[0], dir_.File("people.dbf")) << c.alias;
        }
    }
}

TEST_F(AliasTest, AFoundAliasSetsTheTableTypeOfItsDatasets) {
    TComponent form(nullptr, "Form1");
    TKdbConnection connection(&form, "Conn");
    TKdbQuery query(&form, "Q");
    query.SetKdbConnection(&connection);
    connection.SetAliasName("vfp");
    EXPECT_EQ(query.SourceTableType(), TKdbTableTypes::ttKdbVFP);
    try {
        query.SetSourceTableType(TKdbTableTypes::ttKdbKDT);
        FAIL();
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(
            error.Message(),
            "Q: The table type must remain identical to the table type associated with the alias.");
    }
}

}  // namespace
}  // namespace parvell

#pragma once
// TKdbQuery: the dataset that runs SQL text on an engine connection. Opening it executes the
// statement and presents the cursor through TKdbDataSet; ExecSQL executes without keeping a
// cursor and records the number of affected rows. The statement is kept from one execution to
// the next and forgotten when the connection disconnects.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/KdbParams.h"
#include "engine/kdbdata.h"

namespace parvell {

// The SQL text as a list of lines; every change runs the owner's change handler.
class TKdbSQLStrings {
public:
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int index) const { return lines_.at(static_cast<size_t>(index)); }
    void Add(std::string line);
    void Clear();
    // Replaces every line: the text is split at line breaks (CR LF, LF or CR).
    void SetText(std::string_view text);
    // The lines, each followed by a carriage return and line feed.
    std::string Text() const;
    // Changes between these calls run the handler once, at the outermost EndUpdate.
    void BeginUpdate() { ++updates_; }
    void EndUpdate();

    std::function<void()> OnChange;

private:
    void Changed();

    std::vector<std::string> lines_;
    int updates_ = 0;
    bool changedInUpdate_ = false;
};

class TKdbQuery : public TKdbExtendedDataSet {
public:
    explicit TKdbQuery(TComponent* owner = nullptr, std::string name = {});
    ~TKdbQuery() override;

    // The lines of the statement; editing them closes the query and rebuilds Params.
    TKdbSQLStrings& SQL() { return sql_; }
    // Replaces the text only when it differs from the current one.
    void SetSQL(std::string_view text);

    TParams& Params() { return params_; }
    // Values go to the existing parameters by name.
    void SetParams(const TParams& params) { params_.AssignValues(params); }
    bool ParamCheck = true;
    bool RequestLive = false;
    bool ReadAllColumns = false;
    bool Constrained = false;

    // A master dataset whose fields give values to parameters not yet bound; "Circular Data
    // Link" when the query itself feeds it.
    TDataSet* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSet* master);

    uint32_t SQLTimeout() const { return sqlTimeout_; }
    void SetSQLTimeout(int64_t seconds);

    void SetDatabaseName(const std::string& name) override;
    void SetSourceTableType(TKdbTableTypes type) override;

    // Executes a statement without keeping a cursor.
    void ExecSQL();
    // Rows the last execution affected; -1 when unknown.
    int32_t RowsAffected() const { return rowsAffected_; }

    void Prepare();
    void Unprepare();
    bool Prepared() const { return prepared_; }
    void CloseStatement();
    uint32_t LastAutoIncValue();
    uint32_t StatementHandle() const { return statement_; }

    void ConnectionClosed() override;

protected:
    uint32_t OpenEngineCursor() override;
    int32_t CurrentRecordNumber() override;
    void CursorClose() override;

private:
    void SQLChanged();
    void EnsureStatement();
    // Returns the cursor handle, or kNoHandle when the statement produced none.
    uint32_t ExecuteStatement();

    TKdbSQLStrings sql_;
    TParams params_;
    TDataSet* dataSource_ = nullptr;
    uint32_t sqlTimeout_ = 0;
    uint32_t statement_ = kNoHandle;
    uint32_t ownConnection_ = kNoHandle;
    bool prepared_ = false;
    int32_t rowsAffected_ = -1;
};

}  // namespace parvell

#pragma once
// The data grid of the result window: a table model over a data source's dataset. It shows one
// row per record and one column per field, titled with the field names, each cell the field's
// DisplayString. Rows are read when the view asks for them: the model moves the dataset to the
// record and keeps a bounded cache of rendered rows, so a result of any size scrolls in constant
// memory. The model follows the dataset through a data link: opening and closing reset it.

#include <QAbstractTableModel>
#include <QCache>
#include <QStringList>
#include <QTableView>
#include <exception>
#include <vector>

#include "data/DataSet.h"

namespace parvell {

class TDataSetTableModel : public QAbstractTableModel {
public:
    explicit TDataSetTableModel(QObject* parent = nullptr);
    ~TDataSetTableModel() override;

    // The source whose dataset is shown (not owned; it must outlive the binding).
    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return link_.DataSource(); }

    // The row marked by the record indicator (-1: none).
    void SetCurrentRow(int row);
    int CurrentRow() const { return currentRow_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Used when the dataset cannot tell its record count: rows are then discovered in steps.
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    void fetchMore(const QModelIndex& parent = {}) override;

    // Records read from the dataset so far since the last reset (for tests: scrolling must not
    // read everything).
    int RowsRendered() const { return rowsRendered_; }

private:
    class Link : public TDataLink {
    public:
        explicit Link(TDataSetTableModel& model) : model_(model) {}
        void DataEvent(TDataEvent event, int info) override;

    private:
        TDataSetTableModel& model_;
    };

    void Reload();
    // Moves the dataset to the 0-based row; false when there is no such record.
    bool MoveTo(int row) const;
    const QStringList* Row(int row) const;
    // An error while reading rows is shown once, after the view has finished painting.
    void ReportLater(std::exception_ptr error) const;

    Link link_;
    QStringList titles_;
    std::vector<Qt::Alignment> alignments_;  // per column, from the field's Alignment
    int rows_ = 0;
    bool allRowsKnown_ = true;
    int currentRow_ = -1;
    mutable int position_ = -1;  // the dataset's record as a row; -1 when not known
    mutable bool moving_ = false;
    mutable bool failed_ = false;
    mutable int rowsRendered_ = 0;
    mutable QCache<int, QStringList> cache_;
};

// The grid control: a table view over a TDataSetTableModel with the record indicator in the
// row header and resizable columns.
class TDBGrid : public QTableView {
public:
    explicit TDBGrid(QWidget* parent = nullptr);

    TDataSetTableModel& Model() { return model_; }
    void SetDataSource(TDataSource* source) { model_.SetDataSource(source); }

private:
    TDataSetTableModel model_;
};

}  // namespace parvell

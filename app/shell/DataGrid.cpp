#include "app/shell/DataGrid.h"

#include <QHeaderView>
#include <QTimer>

#include "app/shell/Application.h"
#include "app/text/Cp1252Text.h"

namespace parvell {
namespace {

// Rendered rows kept; a screen shows a few dozen.
constexpr int kCachedRows = 2048;
// Rows discovered per step when the dataset cannot count its records.
constexpr int kFetchStep = 256;

}  // namespace

void TDataSetTableModel::Link::DataEvent(TDataEvent event, int info) {
    if (event == TDataEvent::ModeChanged) {
        model_.Reload();
    } else if ((event == TDataEvent::RecordsChanged || event == TDataEvent::WindowScrolled) &&
               !model_.moving_) {
        // Someone else moved the dataset: the rows are the same, the position is not known.
        model_.position_ = -1;
    }
}

TDataSetTableModel::TDataSetTableModel(QObject* parent)
    : QAbstractTableModel(parent), link_(*this), cache_(kCachedRows) {}

TDataSetTableModel::~TDataSetTableModel() {
    link_.SetDataSource(nullptr);
}

void TDataSetTableModel::SetDataSource(TDataSource* source) {
    link_.SetDataSource(source);
    Reload();
}

void TDataSetTableModel::SetCurrentRow(int row) {
    const int previous = currentRow_;
    currentRow_ = row;
    if (previous >= 0 && previous < rows_) emit headerDataChanged(Qt::Vertical, previous, previous);
    if (row >= 0 && row < rows_) emit headerDataChanged(Qt::Vertical, row, row);
}

void TDataSetTableModel::Reload() {
    beginResetModel();
    titles_.clear();
    alignments_.clear();
    cache_.clear();
    rows_ = 0;
    allRowsKnown_ = true;
    position_ = -1;
    currentRow_ = -1;
    failed_ = false;
    rowsRendered_ = 0;
    TDataSet* dataSet = link_.DataSet();
    if (dataSet && dataSet->Active()) {
        for (int i = 0; i < dataSet->NumFields(); ++i) {
            const TField& field = dataSet->FieldAt(i);
            titles_ << QStringFromCp1252(field.FieldName());
            // Each column is aligned as its field says: numbers to the right.
            const TAlignment alignment = field.Alignment();
            alignments_.push_back(Qt::AlignVCenter |
                                  (alignment == TAlignment::taRightJustify ? Qt::AlignRight
                                   : alignment == TAlignment::taCenter     ? Qt::AlignHCenter
                                                                           : Qt::AlignLeft));
        }
        const int32_t count = dataSet->NumRecords();
        if (count >= 0) {
            rows_ = count;
        } else {
            allRowsKnown_ = false;
        }
        if (rows_ > 0 || !allRowsKnown_) currentRow_ = 0;
    }
    endResetModel();
}

int TDataSetTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TDataSetTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant TDataSetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        return section >= 0 && section < titles_.size() ? QVariant(titles_[section]) : QVariant();
    }
    return section == currentRow_ ? QVariant(QStringLiteral("\u25B6")) : QVariant(QString());
}

QVariant TDataSetTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) {
        const auto column = static_cast<size_t>(index.column());
        return column < alignments_.size() ? QVariant(alignments_[column].toInt()) : QVariant();
    }
    if (role != Qt::DisplayRole) return {};
    const QStringList* row = Row(index.row());
    if (!row || index.column() >= row->size()) return {};
    return (*row)[index.column()];
}

bool TDataSetTableModel::MoveTo(int row) const {
    TDataSet* dataSet = link_.DataSet();
    if (!dataSet || !dataSet->Active()) return false;
    moving_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{moving_};
    if (position_ < 0) {
        dataSet->MoveFirst();
        if (dataSet->AtEnd()) return false;
        position_ = 0;
    }
    if (row != position_) {
        // MoveRelative counts the steps made, in either direction.
        const int from = position_;
        position_ = -1;  // not known should the move fail part-way
        const int steps = dataSet->MoveRelative(row - from);
        position_ = row < from ? from - steps : from + steps;
    }
    return position_ == row;
}

const QStringList* TDataSetTableModel::Row(int row) const {
    if (const QStringList* cached = cache_.object(row)) return cached;
    if (failed_) return nullptr;
    try {
        if (!MoveTo(row)) return nullptr;
        TDataSet& dataSet = *link_.DataSet();
        auto texts = std::make_unique<QStringList>();
        for (int i = 0; i < dataSet.NumFields(); ++i) {
            *texts << QStringFromCp1252(dataSet.FieldAt(i).DisplayString());
        }
        ++rowsRendered_;
        QStringList* result = texts.get();
        cache_.insert(row, texts.release());
        return result;
    } catch (...) {
        failed_ = true;
        ReportLater(std::current_exception());
        return nullptr;
    }
}

void TDataSetTableModel::ReportLater(std::exception_ptr error) const {
    QTimer::singleShot(0, const_cast<TDataSetTableModel*>(this),
                       [error] { HandleException(error); });
}

bool TDataSetTableModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !allRowsKnown_ && !failed_;
}

void TDataSetTableModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    int found = 0;
    try {
        // Step on from the last known row; every record reached is one more row.
        TDataSet* dataSet = link_.DataSet();
        if (rows_ == 0) {
            if (!MoveTo(0)) {
                allRowsKnown_ = true;
                return;
            }
            found = 1;
        } else if (!MoveTo(rows_ - 1)) {
            allRowsKnown_ = true;
            return;
        }
        moving_ = true;
        const int moved = dataSet->MoveRelative(kFetchStep);
        moving_ = false;
        position_ += moved;
        found += moved;
        if (moved < kFetchStep) allRowsKnown_ = true;
    } catch (...) {
        moving_ = false;
        position_ = -1;
        failed_ = true;
        allRowsKnown_ = true;
        ReportLater(std::current_exception());
    }
    if (found > 0) {
        beginInsertRows({}, rows_, rows_ + found - 1);
        rows_ += found;
        endInsertRows();
    }
}

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), model_(this) {
    setModel(&model_);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setFixedWidth(12);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Reading a row moves the dataset; uniform row heights keep the view from reading all rows
    // to measure them.
    setWordWrap(false);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { model_.SetCurrentRow(current.row()); });
}

}  // namespace parvell

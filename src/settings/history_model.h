#pragma once

#include "data/history.h"

#include <QAbstractListModel>

// The lines of the history view, made from the history file's records only when a line is
// shown: "n _ date _ time _ count".
class HistoryModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void setFile(HistoryFile file);
    void clear() { setFile(HistoryFile()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    static QString line(int number, const HistoryRecord& record);
    // The bytes of the file shown.
    QByteArrayView bytes() const { return file_.bytes(); }
    const QDateTime& modified() const { return file_.modified(); }

private:
    HistoryFile file_;
};

#pragma once

#include "data/history.h"

#include <QAbstractListModel>

// The lines of the history view, made from the history file's records only when a line is
// shown: "n _ date _ time _ count", and as a screen reader says them.
class HistoryModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void setFile(HistoryFile file);
    void clear() { setFile(HistoryFile()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    static QString line(int number, const HistoryRecord& record);
    // The line as a screen reader says it, without the separators: 「1件目 12月05日 18時36分11秒
    // 30回」.
    static QString spoken(int number, const HistoryRecord& record);
    // The bytes of the file shown.
    QByteArrayView bytes() const { return file_.bytes(); }
    const QDateTime& modified() const { return file_.modified(); }

private:
    HistoryFile file_;
};

#pragma once

#include "safe_file.h"

#include <QString>
#include <optional>
#include <vector>

// The item list file, in the working directory.
inline const QString ItemListFileName = QStringLiteral("項目一覧.txt");

// The training window has twenty item labels, and registration stops at twenty items.
inline constexpr int MaxItems = 20;

// The program's module state: the item table, read from and written to the item list file,
// and the number of the item on the training window. Items are numbered from 1 in file order.
class GYMM {
public:
    int ItemCount() const { return static_cast<int>(items_.size()); }
    QString& ItemNames(int i) { return items_.at(i - 1).name; }
    const QString& ItemNames(int i) const { return items_.at(i - 1).name; }
    qint16& ItemTargets(int i) { return items_.at(i - 1).target; }
    qint16 ItemTargets(int i) const { return items_.at(i - 1).target; }

    int CurrentItem = 0;

    // Replaces the table with the item list file. A missing file gives an empty table; blank
    // lines are passed over; a missing or non-numeric target loads as 0; targets are rounded
    // (halves to even) and clamped to the 16-bit range. On a read error the table is empty.
    FileResult LoadItemList();

    // Replaces the item list file with the table, every record, in order.
    FileResult RewriteItemList() const;
    // The same, leaving out item `skipped`.
    FileResult RewriteItemListWithout(int skipped) const;
    // Adds one record at the end of the item list file (replacing the file, keeping every
    // earlier byte); the target is written as it is, a fraction included. The table is not
    // touched: the caller reloads it.
    FileResult AppendItem(const QString& name, double target) const;

private:
    struct Item {
        QString name;
        qint16 target = 0;
    };

    FileResult rewrite(int skipped) const;

    std::vector<Item> items_;
};

// One item record as written to the item list file; empty when the name has no CP932 form.
std::optional<QByteArray> itemRecord(const QString& name, QByteArrayView targetText);

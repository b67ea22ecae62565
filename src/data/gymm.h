#pragma once

#include "data/safe_file.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

// The item list file, in the working directory.
inline const QString ItemListFileName = QStringLiteral("項目一覧.txt");

// The training window has twenty item labels, and registration stops at twenty items.
inline constexpr int MaxItems = 20;

// The program's module state: the item table, read from and written to the item list file,
// and the number of the item on the training window. Items are numbered from 1 in file order.
// The table changes only through the operations below, and only after the file did.
class GYMM {
public:
    int ItemCount() const { return static_cast<int>(items_.size()); }
    const QString& ItemNames(int i) const { return items_.at(i - 1).name; }
    qint16 ItemTargets(int i) const { return items_.at(i - 1).target; }
    // Whether an item of this name is registered.
    bool contains(const QString& name) const;

    int CurrentItem = 0;

    // Replaces the table with the item list file. A missing file gives an empty table; blank
    // lines are passed over; a missing or non-numeric target loads as 0; targets are rounded
    // (halves to even) and clamped to the 16-bit range. On a read error the table is empty.
    FileResult LoadItemList();

    // Replaces the item list file with the table, every record, in order. A record whose
    // name cannot name a history file (hand-edited) is written back exactly as it was read,
    // so that no rewrite turns it into another name.
    FileResult RewriteItemList() const;
    // Gives item p a new name and target: the file is rewritten with them, and the table
    // takes them only when that worked.
    FileResult UpdateItem(int p, const QString& name, qint16 target);
    // Rewrites the file without item p, then reloads the table from it.
    FileResult DeleteItem(int p);
    // Adds one record at the end of the item list file (replacing the file, keeping every
    // earlier byte), the target written as it is, a fraction included; then, only when that
    // worked, runs `appended` (the registration's own steps between the two) and reloads the
    // table from the file.
    FileResult RegisterItem(const QString& name, double target,
                            const std::function<void()>& appended);

private:
    struct Item {
        QString name;
        qint16 target = 0;
        QByteArray asRead; // the record's bytes in the file, without the line end
    };

    static FileResult write(const std::vector<Item>& items);
    static FileResult append(const QString& name, double target);
    // Reloads the table after the file was written with `writtenItems`; those stand in for
    // the table when the reload fails.
    FileResult reloadAfter(const FileResult& written, std::vector<Item> writtenItems);

    std::vector<Item> items_;
};

// One item record as written to the item list file; empty when the name has no CP932 form.
std::optional<QByteArray> itemRecord(const QString& name, QByteArrayView targetText);

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

// The item list file, in the data directory.
inline const QString ItemListFileName = QStringLiteral("項目一覧.txt");

// The training window has twenty item labels, and registration stops at twenty items.
inline constexpr int MaxItems = 20;

// The program's module state: the item table, as the item list file holds it. (The romanised
// names of the program, GYMM among them, are explained in docs/DESIGN.md, under Names.) Items are
// numbered from 1 in file order. Only the data directory (DataDir) changes the table, and only
// after the file did.
class GYMM {
public:
    int ItemCount() const { return static_cast<int>(items_.size()); }
    const QString& ItemNames(int i) const { return items_.at(i - 1).name; }
    qint16 ItemTargets(int i) const { return items_.at(i - 1).target; }
    // Whether an item of this name is registered.
    bool contains(const QString& name) const;

    struct Item {
        QString name;
        qint16 target = 0;
        QByteArray asRead; // the record's bytes in the file, without the line end
        bool operator==(const Item&) const = default;
    };

    // The records of an item list file. Blank lines are passed over; a missing or non-numeric
    // target reads as 0; targets are rounded (halves to even) and clamped to the 16-bit range.
    static std::vector<Item> parse(QByteArrayView bytes);
    // The item list file that holds these items, every record in order; nothing when a name
    // has no code page 932 form (with that name). A record whose name cannot name a history
    // file (hand-edited) is written back exactly as it was read, so that no rewrite turns it
    // into another name.
    static std::optional<QByteArray> render(const std::vector<Item>& items, QString* unencodable);

private:
    friend class DataDir;

    std::vector<Item> items_;
};

// One item record as written to the item list file; empty when the name has no CP932 form.
std::optional<QByteArray> itemRecord(const QString& name, QByteArrayView targetText);

#pragma once

#include "data/file_result.h"
#include "data/folder.h"
#include "data/gymm.h"
#include "data/safe_file.h"

#include <QByteArray>
#include <optional>
#include <vector>

// The item list as the program last read or wrote it. A sync tool may replace the file with
// another computer's at any moment, so before any write of the list the program reads it and
// compares: it never writes over a change it has not seen.
class KnownList {
public:
    struct Check {
        FileBytes current;
        // The list on the disk is another one: how it differs from the table, and its items.
        std::optional<ListChange> change;
        std::vector<GYMM::Item> items;
    };
    // Reads the list. A list that holds the known bytes, or the same table written otherwise
    // (another computer's program rounded a fraction), is no change; nor is a list gone
    // missing, which the program writes again from the table rather than take for a list
    // without items. What was read becomes the known list.
    Expected<Check> check(const Folder& folder, const std::vector<GYMM::Item>& table,
                          ListChange::Then then);
    // The program now knows these bytes as the item list.
    void know(bool missing, QByteArrayView bytes);

private:
    bool valid_ = false;
    bool missing_ = false;
    QByteArray bytes_;
};

// Whether two tables hold the same items: names and targets, and, for a name no file can
// carry, the record as read (which is written back exactly so).
bool sameTable(const std::vector<GYMM::Item>& a, const std::vector<GYMM::Item>& b);
// How the table `after` differs from `before`: names that came and went (as many times as
// they did), and the targets of names in both, paired occurrence by occurrence.
ListChange differences(const std::vector<GYMM::Item>& before, const std::vector<GYMM::Item>& after);

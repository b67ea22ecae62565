#pragma once

#include <QString>

// Whether a typed text can be an item name, which also names the item's history file, and
// the form in which the item list file will give it back.
struct ItemNameCheck {
    QString name; // the name as it reads back from the item list file (when acceptable)
    QString problem;
    QString problemTitle;

    bool ok() const { return problem.isEmpty(); }
};

// Refuses a double quote (the record cannot hold it), characters no file name may hold on
// Windows or Linux, control characters, characters code page 932 cannot carry, the name of
// the item list file itself, the device names Windows reserves, and names whose history file
// name would be longer than a file system allows.
ItemNameCheck checkItemName(const QString& typed);

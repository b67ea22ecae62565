#pragma once

#include "data/dating.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// The conflict copies that file-sync tools make when a file was changed on two computers while
// they were apart: the tool keeps one version under the file's name and puts the other beside
// it under a name of its own pattern. The program merges such copies of its files back in.
namespace conflicts {

enum class Tool { Syncthing, Nextcloud, Dropbox };

struct Copy {
    QString name;     // the conflict copy's file name
    QString original; // the file it is a copy of
    Tool tool;
};

// The file `name` is a conflict copy of, when `name` has one of the tools' documented shapes
// for a ".txt" file:
//   Syncthing  腹筋.sync-conflict-20261207-081500-ABCDEFG.txt (the device part may be missing)
//   Nextcloud  腹筋 (conflicted copy 2026-12-07 081500).txt (a user name may come before the
//              date)
//   Dropbox    腹筋 (desktop's conflicted copy 2026-12-07).txt, in English or in Japanese
//              (腹筋 (desktop の競合コピー 2026-12-07).txt), perhaps numbered: "... (1))"
// The same shapes with ".yarukin" are copies of the kept years (kept_years::FileName).
// Anything else, however alike, is no conflict copy.
std::optional<Copy> recognise(const QString& name);

// Two versions of one history merged: every record of `ours` in its order, and every record
// of `theirs` that `ours` lacks (as many times as it lacks it), each put in time order among
// them; the dates come from each file's own year rule (its modification time) and from the
// kept years' `anchors` that still vouch for it. `added` says how many records came from
// `theirs`; `mergedAnchors` takes an anchor before each break of over half a year in the
// merged file, where the year rule alone could misdate it. Every line ends with CR LF.
QByteArray mergeHistories(QByteArrayView ours, const QDateTime& oursModified, QByteArrayView theirs,
                          const QDateTime& theirsModified, int* added,
                          const std::vector<dating::Anchor>& anchors = {},
                          std::vector<dating::Anchor>* mergedAnchors = nullptr);

} // namespace conflicts

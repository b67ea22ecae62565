#include "data/gymm.h"

#include "base/cp932.h"
#include "base/text_to_number.h"
#include "data/history.h"
#include "data/records.h"

#include <algorithm>
#include <cmath>

namespace {

qint16 loadedTarget(QByteArrayView field) {
    const double value = std::nearbyint(TextToNumber(QStringView(cp932::decode(field))));
    return static_cast<qint16>(std::clamp(value, -32768.0, 32767.0));
}

FileResult unencodable(const QString& name) {
    return FileResult::failure(
        FileResult::Action::Write, ItemListFileName,
        QStringLiteral("項目名「%1」に保存できない文字が含まれています").arg(name));
}

} // namespace

std::optional<QByteArray> itemRecord(const QString& name, QByteArrayView targetText) {
    const cp932::EncodeResult encoded = cp932::encode(name);
    if (!encoded.bytes)
        return std::nullopt;
    QByteArray record;
    records::RecordWriter(record).quoted(*encoded.bytes).bare(targetText).end();
    return record;
}

FileResult GYMM::LoadItemList() {
    items_.clear();
    const ReadResult read = safe_file::readAll(ItemListFileName);
    if (!read.result)
        return read.result;
    records::LineScanner lines(read.bytes.view());
    for (QByteArrayView line; lines.next(line);) {
        const auto fields = records::splitFields<2>(line);
        items_.push_back({cp932::decode(fields[0]), loadedTarget(fields[1]), line.toByteArray()});
    }
    return FileResult::success();
}

bool GYMM::contains(const QString& name) const {
    return std::any_of(items_.begin(), items_.end(),
                       [&](const Item& item) { return item.name == name; });
}

FileResult GYMM::RewriteItemList() const {
    return write(items_);
}

FileResult GYMM::UpdateItem(int p, const QString& name, qint16 target) {
    std::vector<Item> changed = items_;
    changed.at(p - 1) = {name, target, {}};
    const FileResult written = write(changed);
    if (written.ok())
        items_ = std::move(changed);
    return written;
}

FileResult GYMM::DeleteItem(int p) {
    std::vector<Item> rest = items_;
    rest.erase(rest.begin() + (p - 1));
    const FileResult written = write(rest);
    return reloadAfter(written, std::move(rest));
}

FileResult GYMM::RegisterItem(const QString& name, double target,
                              const std::function<void()>& appended) {
    const FileResult written = append(name, target);
    if (!written.ok())
        return written;
    appended();
    std::vector<Item> more = items_;
    const QByteArray targetText = NumberText(target).toLatin1();
    QByteArray record = itemRecord(name, targetText).value_or(QByteArray());
    record.chop(2); // the line end
    more.push_back({name, loadedTarget(targetText), record});
    return reloadAfter(written, std::move(more));
}

FileResult GYMM::reloadAfter(const FileResult& written, std::vector<Item> writtenItems) {
    if (!written.ok())
        return written;
    const FileResult loaded = LoadItemList();
    if (!loaded.hasProblem())
        return written;
    // The file holds what was just written even if it cannot be read back now: the table
    // takes that, never an empty table that would let a shared history file be removed.
    items_ = std::move(writtenItems);
    return FileResult::doneBut(loaded);
}

FileResult GYMM::write(const std::vector<Item>& items) {
    QByteArray bytes;
    for (const Item& item : items) {
        if (!item.asRead.isEmpty() && historyNameProblem(item.name)) {
            bytes.append(item.asRead).append("\r\n");
            continue;
        }
        const auto record = itemRecord(item.name, QByteArray::number(item.target));
        if (!record)
            return unencodable(item.name);
        bytes.append(*record);
    }
    return safe_file::replace(ItemListFileName, bytes);
}

FileResult GYMM::append(const QString& name, double target) {
    const auto record = itemRecord(name, NumberText(target).toLatin1());
    if (!record)
        return unencodable(name);
    const ReadResult read = safe_file::readAll(ItemListFileName);
    if (!read.result) // the append cannot be made without the records before it
        return FileResult::failure(FileResult::Action::Write, ItemListFileName,
                                   read.result.reason());
    QByteArray bytes = read.bytes.view().toByteArray();
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes.append("\r\n");
    bytes.append(*record);
    return safe_file::replace(ItemListFileName, bytes);
}

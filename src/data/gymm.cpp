#include "gymm.h"

#include "common/cp932.h"
#include "common/text_to_number.h"
#include "records.h"

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
        items_.push_back({cp932::decode(fields[0]), loadedTarget(fields[1])});
    }
    return FileResult::success();
}

FileResult GYMM::RewriteItemList() const {
    return rewrite(0);
}

FileResult GYMM::RewriteItemListWithout(int skipped) const {
    return rewrite(skipped);
}

FileResult GYMM::rewrite(int skipped) const {
    QByteArray bytes;
    for (int i = 1; i <= ItemCount(); ++i) {
        if (i == skipped)
            continue;
        const auto record = itemRecord(ItemNames(i), QByteArray::number(ItemTargets(i)));
        if (!record)
            return unencodable(ItemNames(i));
        bytes.append(*record);
    }
    return safe_file::replace(ItemListFileName, bytes);
}

FileResult GYMM::AppendItem(const QString& name, double target) const {
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

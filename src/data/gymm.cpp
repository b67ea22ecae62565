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

} // namespace

std::optional<QByteArray> itemRecord(const QString& name, QByteArrayView targetText) {
    const cp932::EncodeResult encoded = cp932::encode(name);
    if (!encoded.bytes)
        return std::nullopt;
    QByteArray record;
    records::RecordWriter(record).quoted(*encoded.bytes).bare(targetText).end();
    return record;
}

bool GYMM::contains(const QString& name) const {
    return std::any_of(items_.begin(), items_.end(),
                       [&](const Item& item) { return item.name == name; });
}

std::vector<GYMM::Item> GYMM::parse(QByteArrayView bytes) {
    std::vector<Item> items;
    records::LineScanner lines(bytes);
    for (QByteArrayView line; lines.next(line);) {
        const auto fields = records::splitFields<2>(line);
        items.push_back({cp932::decode(fields[0]), loadedTarget(fields[1]), line.toByteArray()});
    }
    return items;
}

std::optional<QByteArray> GYMM::render(const std::vector<Item>& items, QString* unencodable) {
    QByteArray bytes;
    for (const Item& item : items) {
        if (!item.asRead.isEmpty() && historyNameProblem(item.name)) {
            bytes.append(item.asRead).append("\r\n");
            continue;
        }
        const auto record = itemRecord(item.name, QByteArray::number(item.target));
        if (!record) {
            *unencodable = item.name;
            return std::nullopt;
        }
        bytes.append(*record);
    }
    return bytes;
}

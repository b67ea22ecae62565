#include "help/chm_file.h"

#include "base/cp932.h"

#include <QFile>
#include <QRegularExpression>
#include <chm_lib.h>

namespace {

// #SYSTEM record codes.
constexpr quint16 ContentsFileCode = 0;
constexpr quint16 DefaultTopicCode = 2;
constexpr quint16 TitleCode = 3;
constexpr quint16 LanguageCode = 4;

constexpr quint32 JapanesePrimaryLanguage = 0x11;

// Little-endian numbers of the #SYSTEM records, byte by byte.
quint32 littleEndian(const QByteArray& bytes, qsizetype pos, int size) {
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<uchar>(bytes.at(pos + i));
    return value;
}

} // namespace

QString chmPath(const QString& path) {
    return path.startsWith(u'/') ? path : u'/' + path;
}

std::unique_ptr<ChmFile> ChmFile::open(const QString& path) {
    chmFile* handle = chm_open(QFile::encodeName(path).constData());
    if (!handle)
        return nullptr;
    std::unique_ptr<ChmFile> file(new ChmFile(handle));
    file->readSystem();
    return file;
}

ChmFile::ChmFile(chmFile* handle) : handle_(handle) {}

ChmFile::~ChmFile() {
    chm_close(handle_);
}

std::optional<QByteArray> ChmFile::read(const QString& path) const {
    // chmlib wants the in-file path as UTF-8.
    const QByteArray name = chmPath(path).toUtf8();
    chmUnitInfo unit{};
    if (chm_resolve_object(handle_, name.constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    // Help pages are small; anything claiming more than this is a damaged file.
    if (unit.length > 64u * 1024 * 1024)
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
    const LONGINT64 got =
        chm_retrieve_object(handle_, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                            static_cast<LONGINT64>(unit.length));
    if (got < 0)
        return std::nullopt;
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}

void ChmFile::readSystem() {
    const std::optional<QByteArray> system = read(QStringLiteral("/#SYSTEM"));
    if (!system)
        return;
    const QByteArray& bytes = *system;
    QByteArray topic, title, contents;
    // A 4-byte version, then records of code, length and data.
    for (qsizetype pos = 4; pos + 4 <= bytes.size();) {
        const auto code = static_cast<quint16>(littleEndian(bytes, pos, 2));
        const auto length = static_cast<quint16>(littleEndian(bytes, pos + 2, 2));
        pos += 4;
        if (pos + length > bytes.size())
            break;
        QByteArray data = bytes.mid(pos, length);
        pos += length;
        const qsizetype zero = data.indexOf('\0');
        const QByteArray text = zero >= 0 ? data.left(zero) : data;
        switch (code) {
        case ContentsFileCode:
            contents = text;
            break;
        case DefaultTopicCode:
            topic = text;
            break;
        case TitleCode:
            title = text;
            break;
        case LanguageCode:
            if (data.size() >= 4)
                lcid_ = littleEndian(data, 0, 4);
            break;
        default:
            break;
        }
    }
    defaultTopic_ = decode(topic);
    title_ = decode(title);
    contentsFile_ = decode(contents);
}

QString ChmFile::decode(const QByteArray& bytes) const {
    if ((lcid_ & 0x3FF) == JapanesePrimaryLanguage)
        return cp932::decode(bytes);
    return QString::fromLatin1(bytes);
}

QString ChmFile::startTopic() const {
    if (!defaultTopic_.isEmpty() && read(defaultTopic_))
        return chmPath(defaultTopic_);
    return firstContentsTopic();
}

QString ChmFile::firstContentsTopic() const {
    if (contentsFile_.isEmpty())
        return {};
    const std::optional<QByteArray> contents = read(contentsFile_);
    if (!contents)
        return {};
    static const QRegularExpression local(
        QStringLiteral(R"re(<param\s+name\s*=\s*"Local"\s+value\s*=\s*"([^"]+)")re"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = local.match(decode(*contents));
    return match.hasMatch() ? chmPath(match.captured(1)) : QString();
}

#include "help/chm_file.h"

#include "base/cp932.h"
#include "help/chm_system.h"

#include <QFile>
#include <QRegularExpression>
#include <chm_lib.h>

namespace {

constexpr quint32 JapanesePrimaryLanguage = 0x11;

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
    const std::optional<QByteArray> bytes = read(QStringLiteral("/#SYSTEM"));
    if (!bytes)
        return;
    const ChmSystem system = parseChmSystem(*bytes);
    lcid_ = system.languageId; // first: it decides how the texts decode
    defaultTopic_ = decode(system.defaultTopic);
    title_ = decode(system.title);
    contentsFile_ = decode(system.contentsFile);
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

#include "reminder/reminder.h"

#include "data/data_dir.h"
#include "data/progress.h"
#include "data/safe_file.h"
#include "data/system_reason.h"

#include <QDir>
#include <algorithm>

namespace reminder {

namespace {

QString xdgDir(const char* variable, const QString& fallback) {
    QString base = qEnvironmentVariable(variable);
    if (!QDir::isAbsolutePath(base)) // the XDG rule: a relative path is ignored
        base = QDir::homePath() + u'/' + fallback;
    return QDir::cleanPath(base + QStringLiteral("/yarukin"));
}

const QString DayLetters = QStringLiteral("月火水木金土日");
const char* const DayNames[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
constexpr quint8 Weekdays = 0x1f;
constexpr quint8 Weekend = 0x60;

// Opens a directory of ours, made for the user alone when missing.
Expected<Folder> openOwnDir(const QString& path) {
    if (const Step made = safe_file::createDirectories(path); !made)
        return made.error();
    return Folder::open(path);
}

} // namespace

bool sameFolder(const QString& a, const QString& b) {
    const std::optional<safe_file::Identity> first = safe_file::identityOf(a);
    return first ? first == safe_file::identityOf(b) : a == b;
}

QString configDir() {
    return xdgDir("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString stateDir() {
    return xdgDir("XDG_STATE_HOME", QStringLiteral(".local/state"));
}

std::optional<quint8> parseDays(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == u"毎日")
        return EveryDay;
    if (trimmed == u"平日")
        return Weekdays;
    if (trimmed == u"週末")
        return Weekend;
    quint8 days = 0;
    if (!trimmed.isEmpty() && trimmed.front().isLetter() && trimmed.front().unicode() < 0x80) {
        for (const QString& name : trimmed.split(u',')) {
            int found = -1;
            for (int day = 0; day < 7; ++day)
                if (name.trimmed().compare(QLatin1String(DayNames[day]), Qt::CaseInsensitive) == 0)
                    found = day;
            if (found < 0)
                return std::nullopt;
            days |= quint8(1u << found);
        }
    } else {
        for (const QChar letter : trimmed) {
            const qsizetype day = DayLetters.indexOf(letter);
            if (day < 0)
                return std::nullopt;
            days |= quint8(1u << day);
        }
    }
    return days ? std::optional<quint8>(days) : std::nullopt;
}

QString daysText(quint8 days) {
    switch (days) {
    case EveryDay:
        return QStringLiteral("毎日");
    case Weekdays:
        return QStringLiteral("平日");
    case Weekend:
        return QStringLiteral("週末");
    }
    QString text;
    for (int day = 0; day < 7; ++day)
        if (days & (1u << day))
            text += DayLetters[day];
    return text;
}

QByteArray renderChoice(const Choice& choice) {
    return QStringLiteral("# ヤルキン！の毎日の通知（このコンピューターだけの設定）\n"
                          "on=%1\nat=%2\ndays=%3\ndata-dir=%4\n")
        .arg(choice.on ? u"yes" : u"no", choice.at.toString(u"HH:mm"), daysText(choice.days),
             choice.dataDir)
        .toUtf8();
}

std::optional<Choice> parseChoice(QByteArrayView text) {
    Choice choice;
    for (const QString& line : QString::fromUtf8(text).split(u'\n')) {
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const QString name = line.section(u'=', 0, 0).trimmed();
        const QString value = line.section(u'=', 1);
        if (name == u"on" && (value == u"yes" || value == u"no")) {
            choice.on = value == u"yes";
        } else if (name == u"at" && QTime::fromString(value, u"HH:mm").isValid()) {
            choice.at = QTime::fromString(value, u"HH:mm");
        } else if (name == u"days" && parseDays(value)) {
            choice.days = *parseDays(value);
        } else if (name == u"data-dir" && (value.isEmpty() || QDir::isAbsolutePath(value))) {
            choice.dataDir = value;
        } else {
            return std::nullopt;
        }
    }
    if (choice.on && choice.dataDir.isEmpty())
        return std::nullopt;
    return choice;
}

Expected<Choice> loadChoice() {
    const QString dir = configDir();
    if (!QFileInfo(dir).isDir())
        return Choice{};
    Expected<Folder> folder = Folder::open(dir);
    if (!folder)
        return folder.error();
    const Expected<FileBytes> read = safe_file::readAll(*folder, ChoiceFileName);
    if (!read)
        return read.error();
    if (read->missing)
        return Choice{};
    if (std::optional<Choice> choice = parseChoice(read->bytes.view()))
        return *choice;
    return FileProblem{FileProblem::Action::Read, QDir(dir).filePath(ChoiceFileName),
                       QStringLiteral("設定を読み取れません")};
}

Step saveChoice(const Choice& choice) {
    Expected<Folder> folder = openOwnDir(configDir());
    if (!folder)
        return folder.error();
    return safe_file::replace(*folder, ChoiceFileName, renderChoice(choice));
}

Expected<Due> due(const QString& dataDir, const QDateTime& now) {
    Expected<Folder> folder = Folder::open(dataDir);
    if (!folder)
        return folder.error();
    // DataDir reads through the same parsers as the windows; no lock is taken, and none of
    // the calls made here writes.
    DataDir data(std::move(*folder));
    if (const Outcome loaded = data.LoadItemList(); !loaded.done)
        return loaded.warnings.value(0);
    const GYMM& table = data.gymm();
    Due due;
    for (int i = 1; i <= table.ItemCount(); ++i) {
        const QString& name = table.ItemNames(i);
        if (history::refusal(name))
            continue;
        const Expected<DatedHistory> history = data.readDatedHistory(name, now);
        if (!history)
            return history.error();
        // Today's day need not be the last: a clock set back leaves later days behind it.
        const progress::DailyTotals totals = progress::dailyTotals(*history, 0);
        ++due.items;
        if (std::none_of(totals.days.rbegin(), totals.days.rend(),
                         [&](const progress::Day& day) { return day.date == now.date(); }))
            due.left.append(name);
    }
    return due;
}

QString message(const Due& due) {
    return QStringLiteral("今日はまだ %1（%2項目中%3項目済み）")
        .arg(due.left.join(u'・'))
        .arg(due.items)
        .arg(due.items - due.left.size());
}

Verdict decide(const Choice& choice, const QDateTime& now, std::optional<QDate> lastReminded) {
    if (!choice.on)
        return {Verdict::Off, {}};
    const QDate today = now.date();
    if (!choice.onDay(today))
        return {Verdict::NotThisDay, {}};
    if (now.time() < choice.at)
        return {Verdict::NotYet, {}};
    if (lastReminded && today.daysTo(*lastReminded) >= 0 && today.daysTo(*lastReminded) <= 1)
        return {Verdict::AlreadyReminded, {}};
    const Expected<Due> left = due(choice.dataDir, now);
    if (!left)
        return {Verdict::Unreadable,
                QStringLiteral("%1: %2").arg(left.error().fileName, left.error().reason)};
    if (left->left.isEmpty())
        return {Verdict::AllDone, {}};
    return {Verdict::Remind, message(*left)};
}

Expected<std::optional<StateLock>> StateLock::take() {
    Expected<Folder> folder = openOwnDir(stateDir());
    if (!folder)
        return folder.error();
    switch (safe_file::lock(*folder)) {
    case safe_file::Lock::Held:
        return std::optional<StateLock>(StateLock(std::move(*folder)));
    case safe_file::Lock::HeldElsewhere:
        return std::optional<StateLock>();
    case safe_file::Lock::Unavailable:
        break;
    }
    return FileProblem{FileProblem::Action::Read, stateDir(),
                       QStringLiteral("このフォルダーはロックできません")};
}

namespace {

// The lines of the record: the day, a tab, the data directory.
QStringList remindedLines() {
    Expected<Folder> folder = Folder::open(stateDir());
    if (!folder)
        return {};
    const Expected<FileBytes> read = safe_file::readAll(*folder, RemindedFileName);
    if (!read)
        return {};
    return QString::fromUtf8(read->bytes.view()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

std::optional<QDate> lastReminded(const QString& dataDir) {
    for (const QString& line : remindedLines())
        if (line.section(u'\t', 1) == dataDir)
            if (const QDate day = QDate::fromString(line.section(u'\t', 0, 0), Qt::ISODate);
                day.isValid())
                return day;
    return std::nullopt;
}

Step noteReminded(const QString& dataDir, const QDate& day) {
    QStringList lines = remindedLines();
    lines.removeIf([&](const QString& line) { return line.section(u'\t', 1) == dataDir; });
    lines.append(day.toString(Qt::ISODate) + u'\t' + dataDir);
    Expected<Folder> folder = openOwnDir(stateDir());
    if (!folder)
        return folder.error();
    return safe_file::replace(*folder, RemindedFileName, (lines.join(u'\n') + u'\n').toUtf8());
}

} // namespace reminder

#pragma once

#include "data/file_result.h"
#include "data/folder.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

// The daily reminder: at the user's hour, on the user's days, one notification when some
// registered item has no set recorded today. Chosen per computer (the data directory may be
// shared with another computer by a sync tool, with other habits), kept in the XDG
// configuration directory; the data directory is only read, never locked or written.
namespace reminder {

// The days of the week as bits, Monday first (bit 0) to Sunday (bit 6).
inline constexpr quint8 EveryDay = 0x7f;

struct Choice {
    bool on = false;
    QTime at = QTime(19, 0);
    quint8 days = EveryDay;
    QString dataDir; // absolute

    bool onDay(const QDate& date) const { return days & (1u << (date.dayOfWeek() - 1)); }
    bool operator==(const Choice&) const = default;
};

// ${XDG_CONFIG_HOME:-~/.config}/yarukin and ${XDG_STATE_HOME:-~/.local/state}/yarukin.
QString configDir();
// Whether two paths name one folder, however reached (a link, the launcher's default named
// otherwise).
bool sameFolder(const QString& a, const QString& b);
QString stateDir();
inline const QString ChoiceFileName = QStringLiteral("reminder.conf");
inline const QString RemindedFileName = QStringLiteral("reminded");

// Days as the user writes them: 月火水木金土日 letters, 毎日, 平日, 週末, or English names
// separated by commas (mon,wed,fri); nothing for a text that names no day or anything else.
std::optional<quint8> parseDays(const QString& text);
// 毎日, 平日, 週末 or the letters, Monday first.
QString daysText(quint8 days);

// The choice file's text (UTF-8 lines of name=value) and back; a text that does not parse
// gives nothing, so that a broken file means no reminder rather than another one.
QByteArray renderChoice(const Choice& choice);
std::optional<Choice> parseChoice(QByteArrayView text);
// The choice of this computer; off when none was made.
Expected<Choice> loadChoice();
// Written atomically, the directory made for the user alone when missing.
Step saveChoice(const Choice& choice);

// What is left to do today in a data directory: every registered item whose history has no
// set dated today, in the list's order. Items whose names no file can carry are never
// recorded, so they are not counted.
struct Due {
    int items = 0;
    QStringList left;
};
// Reads the item list and the histories without taking the directory's lock; writes nothing.
Expected<Due> due(const QString& dataDir, const QDateTime& now);
// 今日はまだ 腕立て伏せ・スクワット（3項目中1項目済み）
QString message(const Due& due);

// What a check at `now` decides.
struct Verdict {
    enum Kind { Off, NotThisDay, NotYet, AlreadyReminded, AllDone, Unreadable, Remind };
    Kind kind = Off;
    QString text; // the message to show (Remind), or the problem (Unreadable)
};
// `lastReminded` is the day this data directory was last reminded. A day up to one before it
// is taken as a clock set back (time sync, summer time, travel) and gives no second reminder;
// a day further back means that day's clock was wrong, and reminders go on.
Verdict decide(const Choice& choice, const QDateTime& now, std::optional<QDate> lastReminded);

// The record of the days reminded, one line per data directory, in the state directory.
// Hold the returned lock (a descriptor, closed by its destructor) around decide, notify and
// note, so that two checks at once (a timer and a wake) give one reminder.
class StateLock {
public:
    StateLock(StateLock&& other) noexcept = default;
    StateLock& operator=(StateLock&&) = delete;
    // Nothing when another check holds it; a problem when the directory cannot be had.
    static Expected<std::optional<StateLock>> take();

private:
    explicit StateLock(Folder folder) : folder_(std::move(folder)) {}
    Folder folder_; // locked while open
};
std::optional<QDate> lastReminded(const QString& dataDir);
Step noteReminded(const QString& dataDir, const QDate& day);

} // namespace reminder

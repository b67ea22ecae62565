// The daily reminder on a private session bus, with a notification server of the test's own,
// the checks driven by the clock as the timer would run them.
#include "reminder/desktop.h"
#include "reminder/reminder_box.h"
#include "settings/frmsettei.h"
#include "support/app_fixture.h"
#include "widgets/picture_button.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <csignal>
#include <unistd.h>

namespace {

using reminder::Verdict;

// A private session bus for the whole binary, set before anything asks for the session bus;
// it starts no service of the system's (a notification daemon installed there).
class PrivateBus : public ::testing::Environment {
public:
    void SetUp() override {
        QFile session(QStringLiteral("/usr/share/dbus-1/session.conf"));
        ASSERT_TRUE(session.open(QIODevice::ReadOnly) && config_.open());
        config_.write(session.readAll().replace("<standard_session_servicedirs />", ""));
        config_.flush();
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config_.fileName(),
                       QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForReadyRead(10000)) << "no dbus-daemon";
        address = QString::fromUtf8(daemon_.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    void TearDown() override {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    static inline QString address;

private:
    QTemporaryFile config_;
    QProcess daemon_;
};
const auto* const bus = ::testing::AddGlobalTestEnvironment(new PrivateBus);

// A notification server that records each Notify and takes an action as a user would.
class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit Notifications(const QString& name)
        : bus_(QDBusConnection::connectToBus(PrivateBus::address, name)) {
        bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                            QDBusConnection::ExportAllSlots);
    }
    ~Notifications() override { QDBusConnection::disconnectFromBus(bus_.name()); }
    bool serve(bool on) {
        const QString name = QStringLiteral("org.freedesktop.Notifications");
        return on ? bus_.registerService(name) : bus_.unregisterService(name);
    }
    void take(const QString& action) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << uint(bodies.size()) << action;
        bus_.send(signal);
    }
    QStringList bodies, actions;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList& actionList, const QVariantMap&, int) {
        EXPECT_EQ(app + summary, QStringLiteral("ヤルキン！ヤルキン！"));
        bodies << body;
        actions = actionList;
        return uint(bodies.size());
    }

private:
    QDBusConnection bus_;
};

QDateTime at(int day, int hour, int minute = 0) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute));
}

class Reminder : public AppTest {
protected:
    Reminder() {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            qputenv(name, (home.path() + u'/' + QLatin1String(name)).toUtf8());
        const QString systemctl = home.filePath(QStringLiteral("systemctl"));
        QFile script(systemctl);
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$*\" >>\"$0.log\"\n");
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        qputenv("YARUKIN_SYSTEMCTL", systemctl.toUtf8());
        EXPECT_TRUE(server.serve(true));
        writeItems({{QStringLiteral("腕立て伏せ"), QStringLiteral("30")},
                    {QStringLiteral("スクワット"), QStringLiteral("20")},
                    {QStringLiteral("腹筋"), QStringLiteral("15")}});
        EXPECT_TRUE(reminder::saveChoice({true, QTime(19, 0), 0x1f, dir.path()}));
    }
    ~Reminder() override { server.serve(false); }

    // Sets recorded at these moments, the file last changed at the newest.
    void trained(const QString& item, const QList<QDateTime>& when) {
        QByteArray bytes;
        for (const QDateTime& moment : when)
            bytes += history::recordBytes(moment, 10);
        dir.write(item + QStringLiteral(".txt"), bytes, when.back());
    }
    // One check of the timer's at `now`, waited for until the notification is shown or the
    // check has ended.
    Verdict check(const QDateTime& now, std::function<void(const QString&)> start = {}) {
        checks.push_back(std::make_unique<reminder::Check>(
            QDBusConnection::sessionBus(), start ? start : [](const QString&) {}));
        QSignalSpy ended(checks.back().get(), &reminder::Check::finished);
        const qsizetype before = server.bodies.size();
        const Verdict verdict = checks.back()->run(now);
        for (int i = 0;
             i < 500 && ended.isEmpty() &&
             !(server.bodies.size() > before && reminder::lastReminded(dir.path()) == now.date());
             ++i)
            QTest::qWait(10);
        return verdict;
    }
    QString run(const QStringList& arguments, int code = 0, bool bus = true) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!bus)
            environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(YARUKIN_PROGRAM), arguments);
        EXPECT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitCode(), code) << program.readAllStandardError().toStdString();
        return QString::fromUtf8(program.readAllStandardOutput());
    }
    QString file(const QString& path) const {
        QFile read(path);
        return read.open(QIODevice::ReadOnly) ? QString::fromUtf8(read.readAll()) : QString();
    }

    QTemporaryDir home;
    Notifications server{QStringLiteral("notifications")};
    std::vector<std::unique_ptr<reminder::Check>> checks;
};

TEST_F(Reminder, OnceADayAtTheHourOnlyWhenSomethingIsLeft) {
    trained(QStringLiteral("腹筋"), {at(8, 7), at(10, 7)});
    trained(QStringLiteral("腕立て伏せ"), {at(10, 7)});
    trained(QStringLiteral("スクワット"), {at(10, 7)});
    // A workout holds the directory all along: the checks neither wait for it nor write there.
    DataDir workout = dir.open();
    ASSERT_EQ(workout.lock(), DataDir::Lock::Held);
    const QByteArray before = dir.snapshot();
    struct Row {
        QDateTime now;
        Verdict::Kind kind;
        QString shown; // the body shown by this check, if any
    } rows[] = {
        {at(8, 18, 59), Verdict::NotYet, {}},
        {at(8, 19), Verdict::Remind,
         QStringLiteral("今日はまだ 腕立て伏せ・スクワット（3項目中1項目済み）")},
        {at(8, 21), Verdict::AlreadyReminded, {}},
        {at(7, 19, 30), Verdict::AlreadyReminded, {}}, // the clock set back a day
        // Woken from a suspend long past the hour.
        {at(9, 23, 10), Verdict::Remind,
         QStringLiteral("今日はまだ 腕立て伏せ・スクワット・腹筋（3項目中0項目済み）")},
        {at(9, 23, 20), Verdict::AlreadyReminded, {}},
        {at(8, 20), Verdict::AlreadyReminded, {}}, // forward a day, then back
        {at(12, 19), Verdict::NotThisDay, {}},     // a Saturday
        {at(10, 20), Verdict::AllDone, {}},
    };
    for (const Row& row : rows) {
        const qsizetype shown = server.bodies.size();
        EXPECT_EQ(check(row.now).kind, row.kind) << row.now.toString().toStdString();
        EXPECT_EQ(server.bodies.mid(shown),
                  row.shown.isEmpty() ? QStringList() : QStringList{row.shown})
            << row.now.toString().toStdString();
    }
    EXPECT_EQ(server.actions, (QStringList{QStringLiteral("default"), QStringLiteral("始める"),
                                           QStringLiteral("start"), QStringLiteral("始める")}));
    EXPECT_EQ(dir.snapshot(), before);
}

TEST_F(Reminder, WithoutAServerOrAReadableListNothingBreaksAndNothingWrongIsShown) {
    ASSERT_TRUE(reminder::saveChoice({true, QTime(0, 0), reminder::EveryDay, dir.path()}));
    EXPECT_EQ(run({QStringLiteral("--remind")}, 0, false), QString()); // no bus: it ends
    ASSERT_TRUE(reminder::saveChoice({true, QTime(19, 0), 0x1f, dir.path()}));
    server.serve(false);
    EXPECT_EQ(check(at(8, 19)).kind, Verdict::Remind);
    EXPECT_FALSE(reminder::lastReminded(dir.path())); // not shown, so not yet given
    server.serve(true);
    EXPECT_EQ(check(at(8, 19, 5)).kind, Verdict::Remind);
    EXPECT_EQ(server.bodies.size(), 1);

    ASSERT_TRUE(QFile::remove(ItemListFileName));
    ASSERT_TRUE(QDir().mkdir(ItemListFileName));
    EXPECT_EQ(check(at(9, 19)).kind, Verdict::Unreadable);
    ASSERT_TRUE(QDir().rmdir(ItemListFileName));
    EXPECT_EQ(check(at(10, 19)).kind, Verdict::AllDone); // no items, nothing to do
    qputenv("XDG_CONFIG_HOME", "/nonexistent");
    EXPECT_EQ(check(at(11, 19)).kind, Verdict::Off);
    EXPECT_EQ(server.bodies.size(), 1);
}

TEST_F(Reminder, StartBringsTheOpenWindowToTheFrontOrOpensTheTrainingWindow) {
    start();
    app->window()->showMinimized();
    QStringList started;
    const auto open = [&](const QString& dataDir) {
        reminder::openTraining(QDBusConnection::sessionBus(), dataDir,
                               QStringLiteral("/bin/false"));
        started << dataDir;
    };
    ASSERT_EQ(check(at(8, 19), open).kind, Verdict::Remind);
    QSignalSpy gone(checks.back().get(), &reminder::Check::finished);
    server.take(QStringLiteral("start"));
    ASSERT_TRUE(gone.wait(5000));
    EXPECT_EQ(started, QStringList{dir.path()});
    EXPECT_FALSE(app->window()->windowState() & Qt::WindowMinimized);
    app.reset();
    settle();

    // With no program on the directory, the program is started there: its training window
    // holds the directory's lock.
    ASSERT_TRUE(reminder::noteReminded(dir.path(), QDate(2026, 12, 7)));
    ASSERT_EQ(check(at(8, 19),
                    [](const QString& dataDir) {
                        reminder::openTraining(QDBusConnection::sessionBus(), dataDir,
                                               QStringLiteral(YARUKIN_PROGRAM));
                    })
                  .kind,
              Verdict::Remind);
    server.take(QStringLiteral("default"));
    DataDir probe = dir.open();
    DataDir::Lock lock = DataDir::Lock::Held;
    for (int i = 0; i < 300 && (lock = probe.lock()) == DataDir::Lock::Held; ++i) {
        probe = dir.open(); // a lock of our own would only be taken again
        QTest::qWait(50);
    }
    EXPECT_EQ(lock, DataDir::Lock::HeldElsewhere);
    // The program started, found by the directory it holds open, and ended.
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        if (pid.toInt() > 0 && pid.toInt() != ::getpid())
            for (const QFileInfo& fd : fds.entryInfoList(QDir::AllEntries | QDir::System))
                if (fd.symLinkTarget() == QDir(dir.path()).canonicalPath())
                    ::kill(pid.toInt(), SIGTERM);
    }
}

TEST_F(Reminder, TheSettingsBoxAndTheCommandLineSetTheTimer) {
    ASSERT_TRUE(reminder::saveChoice({}));
    start();
    find<PictureButton>(QStringLiteral("cmdCut"))->click();
    settle();
    ASSERT_TRUE(settings());
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<ReminderBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("毎日の通知"));
        box->findChild<QCheckBox*>(QStringLiteral("chkOn"))->setChecked(true);
        box->findChild<QTimeEdit*>(QStringLiteral("tmeAt"))->setTime(QTime(7, 5));
        for (int day : {6, 7})
            box->findChild<QCheckBox*>(QStringLiteral("chkDay(%1)").arg(day))->setChecked(false);
        box->accept();
    });
    settings()->activateWindow();
    QTest::keyClick(settings(), Qt::Key_R, Qt::ControlModifier);
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    EXPECT_TRUE(
        file(config + QStringLiteral("/yarukin/reminder.conf"))
            .endsWith(
                QStringLiteral("on=yes\nat=07:05\ndays=平日\ndata-dir=%1\n").arg(dir.path())));
    const QString dropIn =
        config + QStringLiteral("/systemd/user/yarukin-reminder.timer.d/hour.conf");
    EXPECT_TRUE(file(dropIn).endsWith(
        QStringLiteral("[Timer]\nOnCalendar=\nOnCalendar=Mon,Tue,Wed,Thu,Fri *-*-* 07:05:00\n")));

    EXPECT_EQ(run({QStringLiteral("--reminder"), QStringLiteral("off")}), QString());
    EXPECT_FALSE(QFile::exists(dropIn));
    EXPECT_EQ(run({QStringLiteral("--reminder=show")}), QStringLiteral("毎日の通知: 使いません\n"));
    run({QStringLiteral("--data-dir"), QStringLiteral("."), QStringLiteral("--reminder"),
         QStringLiteral("6:30"), QStringLiteral("--reminder-days"), QStringLiteral("sun,wed")});
    EXPECT_EQ(run({QStringLiteral("--reminder"), QStringLiteral("show")}),
              QStringLiteral("毎日の通知: 06:30 水日\nフォルダー: %1\n").arg(dir.path()));
    EXPECT_TRUE(file(dropIn).endsWith(QStringLiteral("OnCalendar=Wed,Sun *-*-* 06:30:00\n")));
    EXPECT_EQ(file(home.filePath(QStringLiteral("systemctl.log"))),
              QStringLiteral("--user daemon-reload\n--user enable yarukin-reminder.timer\n"
                             "--user restart yarukin-reminder.timer\n"
                             "--user disable --now yarukin-reminder.timer\n--user daemon-reload\n"
                             "--user daemon-reload\n--user enable yarukin-reminder.timer\n"
                             "--user restart yarukin-reminder.timer\n"));
}

} // namespace

#include "reminder_test.moc"

// A disk that is really full: the data directory on a small tmpfs, filled to the last block.
// Every action must fail with a warning and leave every file byte for byte; with a little room
// again, everything works. Needs the right to mount (root in CI); skipped elsewhere.
#include "base/cp932.h"
#include "data/data_dir.h"
#include "support/work_dir.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString ItemList = QStringLiteral("項目一覧.txt");

class DiskFull : public ::testing::Test {
protected:
    void SetUp() override {
        disk_ = dir.path() + QStringLiteral("/disk");
        ASSERT_TRUE(QDir().mkdir(disk_));
        if (::mount("tmpfs", QFile::encodeName(disk_).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=256k,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "); run as root to test a full disk";
        mounted_ = true;
        QDir::setCurrent(disk_);
    }
    void TearDown() override {
        QDir::setCurrent(dir.path());
        if (mounted_)
            ::umount2(QFile::encodeName(disk_).constData(), MNT_DETACH);
    }

    // Fills the disk with one file until the system says no more.
    void fill() {
        const int fd = ::open("filler", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray block(4096, '\0');
        while (::write(fd, block.constData(), block.size()) > 0) {
        }
        ASSERT_EQ(errno, ENOSPC);
        ::fsync(fd);
        ::close(fd);
    }
    void freeSome(off_t bytes) {
        const off_t size = QFileInfo(QStringLiteral("filler")).size();
        ASSERT_EQ(::truncate("filler", std::max<off_t>(0, size - bytes)), 0);
    }
    QByteArray data() {
        QByteArray all;
        for (const QString& name : QDir::current().entryList(QDir::Files, QDir::Name))
            if (name != QStringLiteral("filler"))
                all += name.toUtf8() + '\0' + dataOf(name) + '\0';
        return all;
    }
    // Writes a file into the mounted directory (the working directory now).
    static void put(const QString& name, const QByteArray& bytes) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray dataOf(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    TempWorkDir dir;
    QString disk_;
    bool mounted_ = false;
};

// The warnings of an outcome, as the titles a window shows them under would say: which
// file, and whether it failed.
QStringList failures(const Outcome& outcome) {
    QStringList files;
    for (const FileProblem& problem : outcome.warnings) {
        EXPECT_EQ(problem.action, FileProblem::Action::Write);
        EXPECT_EQ(problem.reason, u"ディスクの空き容量が足りません");
        files.append(problem.fileName);
    }
    return files;
}

TEST_F(DiskFull, EveryActionFailsWithAWarningAndChangesNothing) {
    put(ItemList, "\"A\",1\r\n\"B\",2.4\r\n\"C\",3\r\n"); // 2.4: clearing rewrites the list
    const QByteArray record = cp(QStringLiteral("\"12月05日\",\"18時36分10秒\",10\r\n"));
    // 4080 bytes: the next record fits only partly into the file's last block.
    put(QStringLiteral("A.txt"), record.repeated(4080 / record.size()));
    for (const char* name : {"B.txt", "C.txt"})
        put(QString::fromLatin1(name), record);
    fill();
    const QByteArray before = data();

    Expected<Folder> folder = Folder::open(disk_);
    ASSERT_TRUE(folder);
    DataDir files(std::move(*folder));
    ASSERT_TRUE(files.LoadItemList().done);
    const QDateTime when(QDate(2026, 12, 5), QTime(18, 36, 11));
    const auto fails = [&](const Outcome& outcome, const QString& file) {
        EXPECT_FALSE(outcome.done);
        EXPECT_EQ(failures(outcome), QStringList{file});
    };
    const DataDir::Recorded recorded = files.record(1, 10, when);
    EXPECT_FALSE(recorded.movesOn);
    fails(recorded, QStringLiteral("A.txt"));
    fails(files.registerItem(QStringLiteral("D"), 4), ItemList);
    fails(files.updateItem(2, QStringLiteral("B"), 9), ItemList);
    fails(files.clearItem(2), ItemList);
    fails(files.deleteItem(2), ItemList);
    EXPECT_EQ(data(), before);
    EXPECT_EQ(files.gymm().ItemCount(), 3);
    EXPECT_EQ(files.gymm().ItemTargets(2), 2);

    // A few blocks free again: the same actions go through.
    freeSome(16 * 4096);
    EXPECT_TRUE(files.record(1, 10, when).done);
    const DataDir::Registration registered = files.registerItem(QStringLiteral("D"), 4);
    EXPECT_TRUE(registered.done);
    EXPECT_TRUE(registered.warnings.isEmpty());
    EXPECT_TRUE(files.clearItem(2).done);
    EXPECT_EQ(dataOf(QStringLiteral("B.txt")), QByteArray());
    EXPECT_TRUE(files.deleteItem(2).done);
    EXPECT_EQ(dataOf(ItemList), QByteArray("\"A\",1\r\n\"C\",3\r\n\"D\",4\r\n"));
}

} // namespace

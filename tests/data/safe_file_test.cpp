#include "data/safe_file.h"
#include "data/system_reason.h"

#include "support/work_dir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Name = QStringLiteral("項目一覧.txt");

QByteArray path(const QString& name) {
    return QFile::encodeName(name);
}

mode_t modeOf(const QString& name) {
    struct stat info {};
    EXPECT_EQ(::lstat(path(name).constData(), &info), 0) << name.toStdString();
    return info.st_mode & 07777;
}

// Every kind of file that is not a regular file, under `name`.
void makeFifo(const QString& name) {
    ASSERT_EQ(::mkfifo(path(name).constData(), 0644), 0);
}

TEST(SafeFile, ReplaceKeepsThePermissionsAndLeavesNothingBeside) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.write(Name, "old");
    ASSERT_EQ(::chmod(path(Name).constData(), 0640), 0);
    ASSERT_TRUE(safe_file::replace(f, Name, "new"));
    EXPECT_EQ(dir.read(Name), QByteArray("new"));
    EXPECT_EQ(modeOf(Name), mode_t(0640));
    EXPECT_EQ(dir.listing(), QStringList{Name});

    // A new file gets the mode the user's umask gives any new file.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(safe_file::replace(f, QStringLiteral("new.txt"), "x"));
    ::umask(mask);
    EXPECT_EQ(modeOf(QStringLiteral("new.txt")), mode_t(0644));
}

// A merge made from a history that a sync tool replaced meanwhile would lose what it brought.
TEST(SafeFile, AReplaceFromAFileThatChangedMeanwhileIsDropped) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.write(Name, "old");
    const std::optional<safe_file::Looks> seen = safe_file::looksOf(f, Name);
    dir.write(QStringLiteral("theirs.tmp"), "new"); // the same size, renamed over
    ASSERT_EQ(::rename("theirs.tmp", path(Name).constData()), 0);
    EXPECT_FALSE(safe_file::replaceUnlessChanged(f, Name, "ours", seen));
    EXPECT_EQ(dir.read(Name), QByteArray("new"));
    EXPECT_EQ(dir.listing(), QStringList{Name});
    const std::optional<Step> replaced =
        safe_file::replaceUnlessChanged(f, Name, "ours", safe_file::looksOf(f, Name));
    ASSERT_TRUE(replaced && *replaced);
    EXPECT_EQ(dir.read(Name), QByteArray("ours"));
}

TEST(SafeFile, ReplaceLeavesAReadOnlyFileAlone) {
    // Whoever runs the program, root included: the mode says the file is not to be changed.
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.write(Name, "old");
    ASSERT_EQ(::chmod(path(Name).constData(), 0444), 0);
    const Step result = safe_file::replace(f, Name, "new");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().reason, u"書き込みが禁止されたファイルです");
    EXPECT_EQ(dir.read(Name), QByteArray("old"));
    EXPECT_EQ(dir.listing(), QStringList{Name});
}

TEST(SafeFile, ReplaceRunByRootKeepsTheOwner) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.write(Name, "old");
    // Either of the two may be root's own.
    for (const auto& [uid, gid] : {std::pair{1234u, 5678u}, {1234u, 0u}, {0u, 5678u}}) {
        ASSERT_EQ(::chown(path(Name).constData(), uid, gid), 0);
        ASSERT_TRUE(safe_file::replace(f, Name, "new"));
        struct stat info {};
        ASSERT_EQ(::stat(path(Name).constData(), &info), 0);
        EXPECT_EQ(info.st_uid, uid);
        EXPECT_EQ(info.st_gid, gid);
    }
}

TEST(SafeFile, OnlyRegularFilesAreReadOrWrittenAndNothingWaits) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.write(QStringLiteral("target.txt"), "outside");
    makeFifo(QStringLiteral("fifo.txt"));
    ASSERT_EQ(::symlink("target.txt", "link.txt"), 0);
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("dir.txt")));

    QElapsedTimer timer;
    timer.start();
    // Not a misleading "no such device": each says what is wrong.
    const QString notRegular = QStringLiteral("通常のファイルではありません");
    for (const auto& [name, reason] :
         {std::pair{"fifo.txt", notRegular},
          {"link.txt", QStringLiteral("シンボリックリンクです（通常のファイルしか使えません）")},
          {"dir.txt", notRegular}}) {
        const QString file = QString::fromLatin1(name);
        const Expected<FileBytes> read = safe_file::readAll(f, file);
        ASSERT_FALSE(read) << name;
        EXPECT_EQ(read.error().action, FileProblem::Action::Read);
        EXPECT_EQ(read.error().fileName, file);
        EXPECT_EQ(read.error().reason, reason) << name;
        const Step created = safe_file::create(f, file);
        ASSERT_FALSE(created) << name;
        EXPECT_EQ(created.error().reason, reason) << name;
        EXPECT_FALSE(safe_file::append(f, file, "x")) << name;
        EXPECT_FALSE(safe_file::replace(f, file, "x")) << name;
        EXPECT_FALSE(safe_file::truncate(f, file)) << name;
    }
    EXPECT_LT(timer.elapsed(), 5000); // a FIFO never blocks: without a writer it would wait
    EXPECT_EQ(dir.read(QStringLiteral("target.txt")), QByteArray("outside"));
    EXPECT_TRUE(QFileInfo(QStringLiteral("link.txt")).isSymLink());
    EXPECT_TRUE(QFileInfo(QStringLiteral("fifo.txt")).exists());
    EXPECT_TRUE(QFileInfo(QStringLiteral("dir.txt")).isDir());
}

TEST(SafeFile, AppendEndsACutOffLineInTheSameWrite) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.write(QStringLiteral("a.txt"), "one");
    ASSERT_TRUE(safe_file::append(f, QStringLiteral("a.txt"), "two\r\n"));
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")), QByteArray("one\r\ntwo\r\n"));
    ASSERT_TRUE(safe_file::append(f, QStringLiteral("a.txt"), "three\r\n"));
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")), QByteArray("one\r\ntwo\r\nthree\r\n"));
    ASSERT_TRUE(safe_file::append(f, QStringLiteral("new.txt"), "x\r\n"));
    EXPECT_EQ(dir.read(QStringLiteral("new.txt")), QByteArray("x\r\n"));
    dir.write(QStringLiteral("b.txt"), "x"); // a single byte is a cut-off line too
    ASSERT_TRUE(safe_file::append(f, QStringLiteral("b.txt"), "two\r\n"));
    EXPECT_EQ(dir.read(QStringLiteral("b.txt")), QByteArray("x\r\ntwo\r\n"));
    dir.write(QStringLiteral("c.txt"), "one\r"); // a power cut between the CR and the LF
    ASSERT_TRUE(safe_file::append(f, QStringLiteral("c.txt"), "two\r\n"));
    EXPECT_EQ(dir.read(QStringLiteral("c.txt")), QByteArray("one\r\ntwo\r\n"));
}

TEST(SafeFile, TruncationEmptiesInPlaceKeepingLinksAndMode) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.write(QStringLiteral("a.txt"), "records");
    ASSERT_EQ(::chmod("a.txt", 0604), 0);
    ASSERT_EQ(::link("a.txt", "other-name.txt"), 0);
    ASSERT_TRUE(safe_file::truncate(f, QStringLiteral("a.txt")));
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")), QByteArray());
    EXPECT_EQ(dir.read(QStringLiteral("other-name.txt")), QByteArray());
    EXPECT_EQ(modeOf(QStringLiteral("a.txt")), mode_t(0604));
    ASSERT_TRUE(safe_file::truncate(f, QStringLiteral("missing.txt")));
    EXPECT_TRUE(dir.exists(QStringLiteral("missing.txt")));
}

TEST(SafeFile, RemoveReportsWhatItCouldNotRemove) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    EXPECT_TRUE(safe_file::remove(f, QStringLiteral("missing.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("dir.txt")));
    const Step result = safe_file::remove(f, QStringLiteral("dir.txt"));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().action, FileProblem::Action::Remove);
    EXPECT_EQ(result.error().fileName, u"dir.txt");
    EXPECT_EQ(result.error().reason, u"フォルダーです");
}

TEST(SafeFile, StrayTemporariesOfTheReplaceAreRemovedAndNothingElse) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    const QStringList strays = {Name + QStringLiteral(".yarukin-a1B2c3"),
                                Name + QStringLiteral(".yarukin-ZZZZZZ"),
                                QStringLiteral("A.txt.yarukin-q1W2e3")}; // beside a history
    // A user's own backups and notes look much alike and must stay.
    const QStringList kept = {Name,
                              QStringLiteral("A.txt"),
                              Name + QStringLiteral(".backup"),
                              Name + QStringLiteral(".201207"),
                              Name + QStringLiteral(".yarukin-abc"),
                              Name + QStringLiteral(".yarukin-abcdefg"),
                              Name + QStringLiteral(".yarukin-abc-ef"),
                              Name + QStringLiteral(".yarukin-abcdef.txt"),
                              QStringLiteral("x") + Name + QStringLiteral(".yarukin-abcdef"),
                              QStringLiteral("腕立て伏せ.txt.yarukin-abcdef")};
    for (const QString& name : strays + kept)
        dir.write(name, "x");
    ASSERT_TRUE(QDir().mkdir(Name + QStringLiteral(".yarukin-dir123")));
    makeFifo(Name + QStringLiteral(".yarukin-fifo12"));
    ASSERT_EQ(::symlink("腕立て伏せ.txt.yarukin-abcdef",
                        path(Name + QStringLiteral(".yarukin-link12")).constData()),
              0);
    ASSERT_TRUE(safe_file::removeStrayTemporaries(f, Name));
    QStringList expected = kept;
    expected << Name + QStringLiteral(".yarukin-dir123") << Name + QStringLiteral(".yarukin-fifo12")
             << Name + QStringLiteral(".yarukin-link12");
    expected.sort();
    EXPECT_EQ(dir.listing(), expected);
    EXPECT_TRUE(safe_file::isTemporaryName(Name + QStringLiteral(".yarukin-Ab0xyz"), Name));
    EXPECT_FALSE(safe_file::isTemporaryName(Name + QStringLiteral(".yarukin-Ab0xy"), Name));
    EXPECT_FALSE(safe_file::isTemporaryName(Name + QStringLiteral(".Ab0xyz"), Name));
}

TEST(SafeFile, DirectoriesAreMadeWithTheirParentsForTheUserAlone) {
    TempWorkDir dir;
    ASSERT_TRUE(safe_file::createDirectories(QStringLiteral("a/b/c")));
    ASSERT_TRUE(safe_file::createDirectories(dir.path() + QStringLiteral("/a/b/c"))); // there
    EXPECT_EQ(modeOf(QStringLiteral("a")), mode_t(0700));
    EXPECT_EQ(modeOf(QStringLiteral("a/b/c")), mode_t(0700));
    // A file in the way, on the way or at the end.
    dir.write(QStringLiteral("a/file"), "x");
    for (const auto& [path, file] : {std::pair{"a/file/d", "/a/file/d"}, {"a/file", "a/file"}}) {
        const Step made = safe_file::createDirectories(QString::fromLatin1(path));
        ASSERT_FALSE(made) << path;
        EXPECT_TRUE(made.error().fileName.endsWith(QString::fromLatin1(file))) << path;
        EXPECT_EQ(made.error().reason, u"フォルダーではありません");
    }
    EXPECT_EQ(dir.read(QStringLiteral("a/file")), "x");
    // The working directory, opened as a folder, is named "." in what the user is told.
    EXPECT_EQ(Folder::open(QString()).value().path(), u".");
    EXPECT_EQ(Folder::open(QStringLiteral("a/file")).error().fileName, u"a/file");
}

TEST(SafeFile, TheReasonsAUserMeetsAreSaidInJapaneseAndOthersAsTheSystemSaysThem) {
    QStringList said;
    for (const int error : {ELOOP, ENOSPC, EDQUOT, EIO, EACCES, EROFS, EISDIR, ENOTDIR, ENOENT,
                            ENAMETOOLONG, ENOMEM, ENXIO, EBADF, EPIPE}) {
        const QString reason = systemReason(error);
        EXPECT_NE(reason, QString::fromLocal8Bit(std::strerror(error))) << error;
        EXPECT_FALSE(said.contains(reason)) << error;
        said.append(reason);
    }
    EXPECT_EQ(systemReason(EPERM), systemReason(EACCES));
    EXPECT_EQ(systemReason(EXDEV), QString::fromLocal8Bit(std::strerror(EXDEV)));
}

TEST(SafeFile, ReadReportsAMissingFileApartFromAnError) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    const Expected<FileBytes> missing = safe_file::readAll(f, QStringLiteral("missing.txt"));
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->missing);
    dir.write(QStringLiteral("a.txt"), "abc");
    const Expected<FileBytes> read = safe_file::readAll(f, QStringLiteral("a.txt"));
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->missing);
    EXPECT_EQ(read->bytes.view(), QByteArrayView("abc"));
}

} // namespace

#include "platform/file.h"

#include "support/file_size_limit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

using platform::File;
using platform::FileError;

namespace {

class FileTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir_.filePath(name); }

    void put(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray bytesOf(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Everything in the folder: a leftover temporary file shows here.
    QStringList names() const {
        return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir_;
};

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST_F(FileTest, WholeFileWriteReplacesOrLeavesTheOldFile) {
    put("target", "old contents");
    ASSERT_TRUE(::chmod(QFile::encodeName(path("target")).constData(), 0640) == 0);

    platform::writeFile(path("target"), "new");
    EXPECT_EQ(bytesOf("target"), "new");
    EXPECT_EQ(names(), QStringList{"target"});
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path("target")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the file keeps its permissions";

    {  // the disk refuses the bytes part-way
        test::FileSizeLimit limit(4);
        EXPECT_THROW(platform::writeFile(path("target"), "longer than four"), FileError);
    }
    EXPECT_EQ(bytesOf("target"), "new");
    EXPECT_EQ(names(), QStringList{"target"});

    {  // dropped before commit
        platform::DurableFile file(path("target"));
        file.write("never committed");
    }
    EXPECT_EQ(bytesOf("target"), "new");
    EXPECT_EQ(names(), QStringList{"target"});

    // No temporary file can be made where the parent is a regular file.
    try {
        platform::writeFile(path("target/inside"), "x");
        ADD_FAILURE() << "written";
    } catch (const FileError& e) {
        EXPECT_EQ(e.systemError(), ENOTDIR);
    }
    EXPECT_EQ(bytesOf("target"), "new");
    EXPECT_EQ(names(), QStringList{"target"});

    // A link stays a link; the file it names is what changes.
    ASSERT_TRUE(QFile::link(path("target"), path("link")));
    platform::writeFile(path("link"), "through the link");
    EXPECT_TRUE(QFileInfo(path("link")).isSymLink());
    EXPECT_EQ(bytesOf("target"), "through the link");
    ASSERT_TRUE(QFile::remove(path("link")));
}

TEST_F(FileTest, ReplaceLeavesEitherFileWhole) {
    put("old", "old");
    put("new", "new");
    platform::replaceFile(path("new"), path("old"));
    EXPECT_EQ(bytesOf("old"), "new");
    EXPECT_EQ(names(), QStringList{"old"});

    put("new", "newer");
    EXPECT_THROW(platform::replaceFile(path("new"), path("old/below")), FileError);
    EXPECT_EQ(bytesOf("old"), "new");
    EXPECT_EQ(bytesOf("new"), "newer");
}

TEST_F(FileTest, CopyIsIdenticalAndNeverOverwrites) {
    const QByteArray source = pattern(2 * (1 << 20) + 12345);  // more than one chunk
    put("source", source);
    platform::copyFile(path("source"), path("copy"));
    EXPECT_EQ(bytesOf("copy"), source);

    put("taken", "keep me");
    try {
        platform::copyFile(path("source"), path("taken"));
        ADD_FAILURE() << "copied over an existing file";
    } catch (const FileError& e) {
        EXPECT_EQ(e.systemError(), EEXIST);
    }
    EXPECT_EQ(bytesOf("taken"), "keep me");

    {  // a copy cut short goes
        test::FileSizeLimit limit(1000);
        EXPECT_THROW(platform::copyFile(path("source"), path("partial")), FileError);
    }
    EXPECT_FALSE(QFile::exists(path("partial")));
}

TEST_F(FileTest, ReadFileStopsPastTheLimit) {
    put("big", pattern(3 * (1 << 20)));
    EXPECT_EQ(platform::readFile(path("big"), 1 << 22), pattern(3 * (1 << 20)));
    EXPECT_GT(platform::readFile(path("big"), 100).size(), 100);
    EXPECT_LT(platform::readFile(path("big"), 100).size(), 3 * (1 << 20));
}

TEST_F(FileTest, FailuresNameTheFileAndStep) {
    struct Case {
        const char* name;
        File::Create create;
        FileError::Action action;
        int error;
        QString message;
    };
    put("exists", "x");
    const QString missing = path("missing");
    const QString inFile = path("exists/below");
    const std::vector<Case> cases = {
        {"missing", File::Create::No, FileError::Action::Open, ENOENT,
         QStringLiteral("File not found: ") + missing},
        {"exists", File::Create::New, FileError::Action::Create, EEXIST,
         QStringLiteral("Cannot open %1: %2").arg(path("exists"), platform::systemMessage(EEXIST))},
        {"exists/below", File::Create::Yes, FileError::Action::Create, ENOTDIR,
         QStringLiteral("Cannot open %1: %2").arg(inFile, platform::systemMessage(ENOTDIR))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            File file(path(c.name), File::Access::ReadWrite, c.create);
            ADD_FAILURE() << "opened";
        } catch (const FileError& e) {
            EXPECT_EQ(e.action(), c.action);
            EXPECT_EQ(e.systemError(), c.error);
            EXPECT_EQ(e.path(), path(c.name));
            EXPECT_EQ(e.message(), c.message);
        }
    }

    // A caller's own kind of error.
    struct Mine {
        QString message;
    };
    const File::Raise raise = [](const FileError& e) { throw Mine{e.message()}; };
    try {
        File file(missing, File::Access::ReadOnly, File::Create::No, raise);
        ADD_FAILURE() << "opened";
    } catch (const Mine& e) {
        EXPECT_EQ(e.message, QStringLiteral("File not found: ") + missing);
    }
}

TEST_F(FileTest, WritesAreSeenThroughTheFrontView) {
    File writer(path("data"), File::Access::ReadWrite, File::Create::Yes);
    writer.writeAt(0, "abcdefgh", 8);
    File reader(path("data"), File::Access::ReadOnly);
    const unsigned char* front = reader.mapFront(8);
    writer.writeDurably(2, "XY", 2);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(front), 8), "abXYefgh");
    writer.writeDurably(8, "tail", 4);
    EXPECT_EQ(reader.size(), 12);
    char back[16] = {};
    EXPECT_EQ(reader.readAt(6, back, sizeof back), 6u);  // short at the end
    EXPECT_EQ(QByteArray(back, 6), "ghtail");
    writer.resize(3);
    EXPECT_EQ(reader.size(), 3);

    EXPECT_TRUE(reader.isAt(path("data")));
    put("other", "other");
    platform::replaceFile(path("other"), path("data"));
    EXPECT_FALSE(reader.isAt(path("data")));
}

TEST_F(FileTest, LocksOfTwoFilesConflictLikeTwoProcesses) {
    put("locked", "x");
    File a(path("locked"), File::Access::ReadWrite);
    File b(path("locked"), File::Access::ReadWrite);
    constexpr int64_t kFar = int64_t(1) << 62;

    ASSERT_TRUE(a.tryLock(kFar, 1, true));
    EXPECT_FALSE(b.tryLock(kFar, 1, false));
    EXPECT_FALSE(b.lock(kFar, 1, true, 20));  // waits, then gives up
    EXPECT_TRUE(b.tryLock(kFar + 1, 1, true)) << "another byte is free";
    a.unlock(kFar, 1);
    EXPECT_TRUE(b.tryLock(kFar, 1, true));
    b.unlock(kFar, 1);

    ASSERT_TRUE(a.tryLock(kFar, 1, false));
    EXPECT_TRUE(b.tryLock(kFar, 1, false)) << "shared locks coexist";
    EXPECT_FALSE(b.tryLock(kFar, 1, true));
    {  // closing a third handle drops none of them
        File c(path("locked"), File::Access::ReadOnly);
    }
    File d(path("locked"), File::Access::ReadWrite);
    EXPECT_FALSE(d.tryLock(kFar, 1, true));
}

}  // namespace

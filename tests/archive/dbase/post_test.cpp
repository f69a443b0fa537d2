// What a failed post leaves behind: nothing, when the record never became
// durable; the record, indexed, when only its index went wrong (the index is
// rebuilt from the table and the caller is told).
#include "archive/dbase/cursor.h"
#include "archive/dbase/table_file.h"
#include "support/file_size_limit.h"
#include "support/table_support.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

namespace dbase {
namespace {

using test::createJournal;

void appendIds(Cursor& c, const QString& prefix, int n) {
    for (int i = 1; i <= n; ++i) {
        c.append();
        c.setText(QStringLiteral("ID"), prefix + QString::number(i));
        c.setDate(QStringLiteral("DATA"), QDate(2024, 1, 1).addDays(i));
        c.post();
    }
}

int countThroughTag(Cursor& c, const QString& tag) {
    c.setIndex(tag);
    int n = 0;
    for (c.first(); !c.eof(); c.next()) ++n;
    return n;
}

// Overwrites the .mdx's tree pages (everything past the headers) with bytes
// no B-tree page can hold: the damage shows only when a post walks the tree.
void damageTreePages(const QString& tablePath) {
    QFile mdx(Table::productionIndexPath(tablePath));
    ASSERT_TRUE(mdx.open(QIODevice::ReadWrite));
    const qint64 from = 4096;
    ASSERT_GT(mdx.size(), from);
    mdx.seek(from);
    mdx.write(QByteArray(int(mdx.size() - from), char(0xEE)));
}

TEST(Posts, AnIndexFoundDamagedDuringAPostIsRebuiltAndThePostStands) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    {
        Cursor c(path);
        c.open();
        appendIds(c, QStringLiteral("OLD"), 300);
    }
    Cursor c(path);
    c.open();
    damageTreePages(path);
    c.append();
    c.setText(QStringLiteral("ID"), QStringLiteral("NEW"));
    c.post();  // succeeds: the record is stored and indexed
    EXPECT_TRUE(c.table().indexRebuiltByLastChange());
    EXPECT_EQ(c.state(), Cursor::State::Browse);
    EXPECT_EQ(c.table().recordCount(), 301u);
    EXPECT_EQ(countThroughTag(c, QStringLiteral("ID")), 301);
    EXPECT_EQ(countThroughTag(c, QStringLiteral("DATA")), 301);
    c.setIndex(QStringLiteral("ID"));
    EXPECT_TRUE(c.findKey(QStringLiteral("NEW")));
    EXPECT_TRUE(c.findKey(QStringLiteral("OLD300")));

    // An ordinary post afterwards says nothing was rebuilt.
    ASSERT_TRUE(c.findKey(QStringLiteral("NEW")));
    c.edit();
    c.setText(QStringLiteral("ID"), QStringLiteral("NEWER"));
    c.post();
    EXPECT_FALSE(c.table().indexRebuiltByLastChange());
    EXPECT_TRUE(c.findKey(QStringLiteral("NEWER")));
    EXPECT_FALSE(c.findKey(QStringLiteral("NEW")));
}

// A write the system refuses (here: beyond the file size limit) stores
// nothing: the error is the truth, and a retry stores the record once.
TEST(Posts, AWriteThatFailsStoresNothingAndARetryStoresOnce) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    Cursor c(path);
    c.open();
    appendIds(c, QStringLiteral("A"), 5);
    const qint64 sizeBefore = QFileInfo(path).size();

    c.append();
    c.setText(QStringLiteral("ID"), QStringLiteral("B"));
    bool failed = false;
    {
        const ::test::FileSizeLimit limit(
            rlim_t(sizeBefore + 10));  // part of a record fits, not all of it
        try {
            c.post();
        } catch (const RecordStoredError& e) {
            ADD_FAILURE() << "claims stored: " << e.what();
        } catch (const EngineError&) {
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(c.state(), Cursor::State::Insert);
    EXPECT_EQ(QFileInfo(path).size(), sizeBefore);
    {
        // What another program sees now: the five records, nothing half-written.
        std::shared_ptr<Table> t = c.sharedTable();
        EXPECT_EQ(t->recordCount(), 5u);
    }
    c.post();  // the retry
    c.close();

    Cursor again(path);
    again.open();
    EXPECT_EQ(again.recordCount(), 6);
    EXPECT_EQ(countThroughTag(again, QStringLiteral("ID")), 6);
    again.setIndex(QStringLiteral("ID"));
    EXPECT_TRUE(again.findKey(QStringLiteral("B")));
}

// Appends write their records before the header counts them. A writer killed
// in between (here: two whole records and part of a third, as a batch cut
// short leaves them) must not have them overwritten by the next append of a
// process that had the table open all along: its write lock sees the file
// longer than the count and repairs as an open does (whole records kept and
// indexed, the partial one cut) before it appends.
TEST(Posts, RecordsADeadWriterLeftUncountedAreRepairedBeforeTheNextAppend) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    Cursor c(path);
    c.open();
    appendIds(c, QStringLiteral("A"), 5);
    const DbfLayout& layout = c.table().layout();
    QByteArray left;
    for (const char* id : {"DEAD1", "DEAD2", "DEAD3"}) {
        QByteArray r = layout.blankRecord();
        layout.setText(layout.fieldIndex(QStringLiteral("ID")), r, QString::fromLatin1(id));
        left.append(r);
    }
    left.chop(layout.recordLength() / 2);
    {
        TableFile raw(path, TableFile::Access::ReadWrite);
        raw.writeAt(raw.size() - 1, left.constData(), size_t(left.size()));  // over the 0x1A
    }
    appendIds(c, QStringLiteral("B"), 1);

    EXPECT_EQ(c.table().recordCount(), 8u);
    EXPECT_EQ(QFileInfo(path).size(), layout.headerLength() + 8 * layout.recordLength() + 1);
    EXPECT_EQ(countThroughTag(c, QStringLiteral("ID")), 8);
    EXPECT_EQ(countThroughTag(c, QStringLiteral("DATA")), 8);
    c.setIndex(QStringLiteral("ID"));
    for (const char* id : {"A5", "DEAD1", "DEAD2", "B1"})
        EXPECT_TRUE(c.findKey(QString::fromLatin1(id))) << id;
    EXPECT_FALSE(c.findKey(QStringLiteral("DEAD3")));
}

}  // namespace
}  // namespace dbase

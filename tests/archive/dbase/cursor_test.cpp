// Cursor semantics the data module relies on: navigation, find key, the
// pending-record rules, deletion, hooks, and several cursors on one table.
#include "archive/dbase/cursor.h"
#include "support/table_support.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <functional>

namespace dbase {
namespace {

using test::createJournal;
using test::message;

class CursorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = createJournal(dir);
        c.setTableName(path);
        c.open();
        // Physical order C, A, B, E, D; dates descending with the physical order.
        for (const char* id : {"C", "A", "B", "E", "D"}) add(c, QString::fromLatin1(id));
    }
    void add(Cursor& on, const QString& id) {
        on.append();
        on.setText(QStringLiteral("ID"), id);
        on.setDate(QStringLiteral("DATA"), QDate(2024, 6, 30).addDays(-(++serial)));
        on.post();
    }
    QString ids(Cursor& on) {
        QString s;
        for (on.first(); !on.eof(); on.next()) s += on.text(QStringLiteral("ID"));
        return s;
    }
    QString idsBackwards(Cursor& on) {
        QString s;
        for (on.last(); !on.bof(); on.prior()) s += on.text(QStringLiteral("ID"));
        return s;
    }

    QTemporaryDir dir;
    QString path;
    Cursor c;
    int serial = 0;
};

TEST_F(CursorTest, NavigationInEachOrderAndEnds) {
    EXPECT_EQ(ids(c), QStringLiteral("CABED"));
    c.setIndex(QStringLiteral("id"));
    EXPECT_EQ(c.indexName(), QStringLiteral("ID"));
    EXPECT_EQ(ids(c), QStringLiteral("ABCDE"));
    EXPECT_EQ(idsBackwards(c), QStringLiteral("EDCBA"));
    c.setIndex(QStringLiteral("DATA"));
    EXPECT_EQ(ids(c), QStringLiteral("DEBAC"));

    c.first();
    EXPECT_TRUE(c.bof());
    EXPECT_FALSE(c.eof());
    c.prior();  // before the start: stays, bof
    EXPECT_TRUE(c.bof());
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("D"));
    c.last();
    EXPECT_TRUE(c.eof());
    c.next();
    EXPECT_TRUE(c.eof());
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("C"));

    // Changing the order keeps the current record.
    c.setIndex(QStringLiteral("ID"));
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("C"));
    c.next();
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("D"));
    c.setIndex(QString());
    c.next();
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("D"));  // D is last physically
    EXPECT_TRUE(c.eof());
}

TEST_F(CursorTest, FindKeyIsExactOnTheWholeKey) {
    add(c, QStringLiteral("977123"));
    add(c, QStringLiteral("9771234"));
    add(c, QStringLiteral("977123"));
    c.setIndex(QStringLiteral("ID"));
    EXPECT_TRUE(c.findKey(QStringLiteral("977123")));
    EXPECT_EQ(c.recordNumber(), 6u);  // the first of two equal keys
    EXPECT_TRUE(c.findKey(QStringLiteral("9771234")));
    EXPECT_EQ(c.recordNumber(), 7u);
    // A prefix is not a match, and a miss leaves the position alone.
    EXPECT_FALSE(c.findKey(QStringLiteral("97712")));
    EXPECT_EQ(c.recordNumber(), 7u);
    EXPECT_FALSE(c.findKey(QStringLiteral("longer than the eighteen characters")));
    EXPECT_FALSE(c.findKey(QStringLiteral("\u4E2D")));
    c.setIndex(QStringLiteral("DATA"));
    EXPECT_TRUE(c.findKey(QDate(2024, 6, 27)));
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("B"));
    EXPECT_FALSE(c.findKey(QDate(2020, 1, 1)));
    c.setIndex(QString());
    EXPECT_NE(message([&] { c.findKey(QStringLiteral("A")); }).find("No index is active"),
              std::string::npos);
}

// What happens to a pending record when the cursor moves, changes index,
// refreshes or closes: posted when changed, dropped when not.
TEST_F(CursorTest, PendingRecordPostedWhenChangedDroppedWhenNot) {
    const std::pair<const char*, std::function<void(Cursor&)>> actions[] = {
        {"next", [](Cursor& x) { x.next(); }},
        {"prior", [](Cursor& x) { x.prior(); }},
        {"first", [](Cursor& x) { x.first(); }},
        {"setIndex", [](Cursor& x) { x.setIndex(QStringLiteral("DATA")); }},
        {"refresh", [](Cursor& x) { x.refresh(); }},
        {"findKey",
         [](Cursor& x) {
             x.setIndex(QStringLiteral("ID"));
             x.findKey(QStringLiteral("A"));
         }},
        {"close", [](Cursor& x) { x.close(); }},
    };
    int expected = 5;
    for (const auto& [name, action] : actions) {
        for (const bool insert : {true, false}) {
            for (const bool change : {true, false}) {
                SCOPED_TRACE(std::string(name) + (insert ? " insert" : " edit") +
                             (change ? " changed" : ""));
                if (!c.isOpen()) c.open();
                c.setIndex(QString());
                c.first();
                if (insert) {
                    c.insert();
                } else {
                    c.edit();
                }
                if (change) c.setNumber(QStringLiteral("QUANTITA"), 7);
                action(c);
                EXPECT_EQ(c.state() == Cursor::State::Inactive ? Cursor::State::Inactive
                                                               : Cursor::State::Browse,
                          c.state());
                if (insert && change) ++expected;
                if (!c.isOpen()) c.open();
                EXPECT_EQ(c.recordCount(), expected);
                c.setIndex(QString());
                c.first();
                EXPECT_EQ(c.number(QStringLiteral("QUANTITA")), !insert && change ? 7.0 : 0.0);
                if (!insert && change) {
                    c.edit();
                    c.clear(QStringLiteral("QUANTITA"));
                    c.post();
                }
            }
        }
    }
}

TEST_F(CursorTest, PostCancelAndStates) {
    EXPECT_EQ(c.state(), Cursor::State::Browse);
    c.setIndex(QStringLiteral("ID"));
    c.findKey(QStringLiteral("B"));
    c.edit();
    EXPECT_EQ(c.state(), Cursor::State::Edit);
    c.setText(QStringLiteral("ID"), QStringLiteral("Z"));
    c.cancel();
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("B"));
    c.edit();
    c.setText(QStringLiteral("id"), QStringLiteral("Z"));  // names without regard to case
    c.post();
    EXPECT_EQ(ids(c), QStringLiteral("ACDEZ"));
    EXPECT_FALSE(c.findKey(QStringLiteral("B")));
    c.insert();
    EXPECT_EQ(c.state(), Cursor::State::Insert);
    c.setText(QStringLiteral("ID"), QStringLiteral("X"));
    c.cancel();
    EXPECT_EQ(ids(c), QStringLiteral("ACDEZ"));
    // A post with nothing changed still writes the new record when asked to.
    c.append();
    c.post();
    EXPECT_EQ(c.recordCount(), 6);
    EXPECT_EQ(ids(c), QStringLiteral("ACDEZ"));  // the blank key sorts first
    c.first();
    EXPECT_EQ(c.text(QStringLiteral("ID")), QString());

    EXPECT_NE(message([&] {
                  c.setText(QStringLiteral("ID"), QStringLiteral("Q"));
              }).find("not in edit or insert mode"),
              std::string::npos);
    EXPECT_NE(message([&] {
                  c.text(QStringLiteral("NOSUCH"));
              }).find("Field 'NOSUCH' not found in J.DBF"),
              std::string::npos);
    c.edit();
    EXPECT_NE(message([&] { c.setNumber(QStringLiteral("QUANTITA"), 1e12); }).find("does not fit"),
              std::string::npos);
    EXPECT_NE(message([&] {
                  c.setText(QStringLiteral("ID"), QStringLiteral("1234567890123456789"));
              }).find("longer than 18"),
              std::string::npos);
    c.cancel();
}

TEST(CursorEmpty, EditStartsANewRecordAndDeleteFails) {
    QTemporaryDir dir;
    Cursor c(createJournal(dir));
    c.open();
    EXPECT_TRUE(c.isEmpty());
    EXPECT_TRUE(c.eof() && c.bof());
    EXPECT_EQ(c.text(QStringLiteral("ID")), QString());
    EXPECT_EQ(message([&] { c.deleteRecord(); }),
              "Cannot perform this operation on an empty dataset");
    c.edit();
    EXPECT_EQ(c.state(), Cursor::State::Insert);
    c.setText(QStringLiteral("ID"), QStringLiteral("first"));
    c.post();
    EXPECT_EQ(c.recordCount(), 1);
    c.deleteRecord();
    EXPECT_TRUE(c.isEmpty());
    EXPECT_EQ(message([&] { c.deleteRecord(); }),
              "Cannot perform this operation on an empty dataset");
    Cursor closed(dir.filePath(QStringLiteral("J.DBF")));
    EXPECT_NE(message([&] { closed.next(); }).find("closed dataset"), std::string::npos);
}

TEST_F(CursorTest, DeleteMakesTheNextCurrentAndHidesAtOnce) {
    Cursor other(path);
    other.open();
    other.setIndex(QStringLiteral("ID"));
    c.setIndex(QStringLiteral("ID"));
    c.findKey(QStringLiteral("B"));
    other.findKey(QStringLiteral("C"));
    c.deleteRecord();
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("C"));
    EXPECT_FALSE(c.eof());
    // The other cursor stays where it was and no longer meets B.
    EXPECT_EQ(other.text(QStringLiteral("ID")), QStringLiteral("C"));
    other.prior();
    EXPECT_EQ(other.text(QStringLiteral("ID")), QStringLiteral("A"));
    EXPECT_FALSE(other.findKey(QStringLiteral("B")));
    // Deleting the last record makes the one before it current.
    c.last();
    c.deleteRecord();
    EXPECT_EQ(c.text(QStringLiteral("ID")), QStringLiteral("D"));
    EXPECT_TRUE(c.eof());
    EXPECT_EQ(ids(c), QStringLiteral("ACD"));
    EXPECT_EQ(ids(other), QStringLiteral("ACD"));
    EXPECT_EQ(other.recordCount(), 3);
    // Deleting while inserting just drops the new record.
    c.insert();
    c.setText(QStringLiteral("ID"), QStringLiteral("N"));
    c.deleteRecord();
    EXPECT_EQ(c.recordCount(), 3);
}

TEST_F(CursorTest, EventsAndTheirVetoes) {
    QStringList log;
    c.afterPost = [&](Cursor& x) {
        log << QStringLiteral("afterPost ") + x.text(QStringLiteral("ID"));
    };
    c.beforeDelete = [&](Cursor& x) {
        log << QStringLiteral("beforeDelete ") + x.text(QStringLiteral("ID"));
        if (x.text(QStringLiteral("ID")) == QLatin1String("A"))
            throw platform::Error(QStringLiteral("vetoed"));
    };
    c.beforeClose = [&](Cursor& x) {
        log << QStringLiteral("beforeClose");
        if (x.state() != Cursor::State::Browse) x.post();  // the data module's rule
    };
    c.setIndex(QStringLiteral("ID"));
    c.findKey(QStringLiteral("A"));
    EXPECT_EQ(message([&] { c.deleteRecord(); }), "vetoed");
    EXPECT_EQ(c.recordCount(), 5);
    c.findKey(QStringLiteral("B"));
    c.deleteRecord();
    add(c, QStringLiteral("F"));
    c.edit();
    c.close();
    EXPECT_EQ(log, (QStringList{QStringLiteral("beforeDelete A"), QStringLiteral("beforeDelete B"),
                                QStringLiteral("afterPost F"), QStringLiteral("beforeClose"),
                                QStringLiteral("afterPost F")}));
    // A close that throws keeps the cursor open.
    c.open();
    c.beforeClose = [](Cursor&) { throw platform::Error(QStringLiteral("not now")); };
    EXPECT_EQ(message([&] { c.close(); }), "not now");
    EXPECT_TRUE(c.isOpen());
    c.beforeClose = nullptr;
}

TEST_F(CursorTest, CalculatedFieldsAndFilter) {
    Cursor k(path);
    int computed = 0;
    k.addCalculatedField(QStringLiteral("Twice"));
    k.calcFields = [&](Cursor& x) {
        ++computed;
        x.setText(QStringLiteral("TWICE"), x.text(QStringLiteral("ID")).repeated(2));
    };
    k.open();
    EXPECT_TRUE(k.hasField(QStringLiteral("twice")));
    EXPECT_EQ(k.text(QStringLiteral("twice")), QStringLiteral("CC"));
    k.next();
    EXPECT_EQ(k.text(QStringLiteral("TWICE")), QStringLiteral("AA"));
    k.edit();
    const int before = computed;
    k.setText(QStringLiteral("ID"), QStringLiteral("Q"));
    EXPECT_GT(computed, before);
    EXPECT_EQ(k.text(QStringLiteral("TWICE")), QStringLiteral("QQ"));
    k.cancel();
    EXPECT_EQ(k.text(QStringLiteral("TWICE")), QStringLiteral("AA"));

    // The filter sees calculated fields; navigation and counts skip rejects.
    k.setFilter([](Cursor& x) {
        return x.text(QStringLiteral("TWICE")) != QLatin1String("BB") &&
               x.text(QStringLiteral("ID")) != QLatin1String("D");
    });
    EXPECT_EQ(ids(k), QStringLiteral("CAE"));
    EXPECT_EQ(idsBackwards(k), QStringLiteral("EAC"));
    EXPECT_EQ(k.recordCount(), 3);
    k.setIndex(QStringLiteral("ID"));
    EXPECT_FALSE(k.findKey(QStringLiteral("B")));
    EXPECT_TRUE(k.findKey(QStringLiteral("E")));
    k.setFilter(nullptr);
    EXPECT_EQ(k.recordCount(), 5);
}

TEST_F(CursorTest, CursorsShareOneTable) {
    Cursor reader(path);
    reader.setReadOnly(true);
    reader.open();
    EXPECT_EQ(&reader.table(), &c.table());
    reader.setIndex(QStringLiteral("ID"));
    reader.findKey(QStringLiteral("C"));
    add(c, QStringLiteral("BB"));  // lands between B and C in the reader's order
    reader.prior();
    EXPECT_EQ(reader.text(QStringLiteral("ID")), QStringLiteral("BB"));
    // A change of the current record shows after refresh, position kept.
    c.setIndex(QStringLiteral("ID"));
    c.findKey(QStringLiteral("BB"));
    c.edit();
    c.setNumber(QStringLiteral("QUANTITA"), -3);
    c.post();
    EXPECT_EQ(reader.number(QStringLiteral("QUANTITA")), 0.0);
    reader.refresh();
    EXPECT_EQ(reader.number(QStringLiteral("QUANTITA")), -3.0);
    EXPECT_EQ(reader.text(QStringLiteral("ID")), QStringLiteral("BB"));
    EXPECT_NE(message([&] { reader.edit(); }).find("read-only"), std::string::npos);
    // A pack renumbers records: every cursor starts again from the top.
    c.findKey(QStringLiteral("A"));
    c.deleteRecord();
    EXPECT_NO_THROW(c.table().pack());
    reader.next();
    EXPECT_EQ(reader.text(QStringLiteral("ID")), QStringLiteral("B"));
    EXPECT_EQ(ids(reader), QStringLiteral("BBBCDE"));
}

}  // namespace
}  // namespace dbase

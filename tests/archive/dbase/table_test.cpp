// Tables: the fixture archives read back value by value and tag by tag,
// files we write read by a second dBASE reader, the table operations, and
// the repairs made at open after a crash.
#include "archive/dbase/table.h"
#include "archive/dbase/cursor.h"
#include "support/table_support.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace dbase {
namespace {

using test::copyFixture;
using test::createJournal;
using test::message;
using test::fixture;
using test::fileBytes;
using test::writeBytes;
using test::readCsv;

void setCountOf(QByteArray& bytes, uint32_t n) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = char((n >> (8 * i)) & 0xFF);
}

std::vector<uint32_t> scan(Cursor& c) {
    std::vector<uint32_t> recnos;
    for (c.first(); !c.eof(); c.next()) recnos.push_back(c.recordNumber());
    return recnos;
}

// ---- the fixture archives ----

struct FixtureTable {
    const char* name;
    std::vector<const char*> tags;
};

class Fixtures : public ::testing::TestWithParam<FixtureTable> {};

TEST_P(Fixtures, EveryValueAndEveryTagOrderAsTheCsvSays) {
    const FixtureTable& ft = GetParam();
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QString::fromLatin1(ft.name));
    const QByteArray mdxBefore = fileBytes(Table::productionIndexPath(path));

    Cursor c(path);
    c.open();
    Table& t = c.table();
    const DbfLayout& layout = t.layout();
    EXPECT_TRUE(layout.productionIndex);
    EXPECT_EQ(layout.languageDriver, 0x1B);

    const auto rows = readCsv(fixture(QString::fromLatin1(ft.name) + QStringLiteral(".csv")));
    ASSERT_EQ(t.recordCount(), rows.size());
    std::vector<uint32_t> live;
    QByteArray record;
    for (const QStringList& row : rows) {
        const uint32_t recno = row[0].toUInt();
        ASSERT_TRUE(t.read(recno, record));
        EXPECT_EQ(record[0] == '*', row[1] == QLatin1String("1")) << recno;
        if (row[1] == QLatin1String("0")) live.push_back(recno);
        ASSERT_EQ(row.size(), 2 + layout.fieldCount());
        for (int f = 0; f < layout.fieldCount(); ++f) {
            const QString stored = row[2 + f];
            EXPECT_EQ(platform::cp1252::decode(layout.bytes(f, record)), stored) << recno;
            switch (layout.field(f).type) {
                case 'C':
                    EXPECT_EQ(layout.text(f, record),
                              QString(stored).remove(QRegularExpression(" +$")));
                    break;
                case 'N':
                case 'F':
                    EXPECT_DOUBLE_EQ(layout.number(f, record), stored.trimmed().toDouble())
                        << recno;
                    break;
                case 'D':
                    EXPECT_EQ(layout.date(f, record),
                              QDate::fromString(stored, QStringLiteral("yyyyMMdd")))
                        << recno;
                    break;
            }
        }
    }
    // Physical order shows the live records only.
    EXPECT_EQ(scan(c), live);
    EXPECT_EQ(c.recordCount(), int(live.size()));

    for (const char* tag : ft.tags) {
        const QString tagName = QString::fromLatin1(tag);
        c.setIndex(tagName);
        const auto order = readCsv(fixture(QString::fromLatin1(ft.name) + QLatin1Char('.') +
                                           tagName + QStringLiteral(".csv")));
        std::vector<uint32_t> expected;
        std::map<QString, uint32_t> firstLive;  // key -> first live record in tag order
        std::set<QString> keys;
        for (const QStringList& row : order) {
            keys.insert(row[3]);
            if (row[2] == QLatin1String("0")) {
                expected.push_back(row[1].toUInt());
                firstLive.emplace(row[3], row[1].toUInt());
            }
        }
        EXPECT_EQ(scan(c), expected) << tag;
        // Last to first as well.
        std::vector<uint32_t> backwards;
        for (c.last(); !c.bof(); c.prior()) backwards.push_back(c.recordNumber());
        std::reverse(backwards.begin(), backwards.end());
        EXPECT_EQ(backwards, expected) << tag;

        const bool isDate = t.index()->tag(c.table().findTag(tagName)).type == KeyType::Date;
        for (const QString& key : keys) {
            const bool found = isDate
                                   ? c.findKey(QDate::fromString(key, QStringLiteral("yyyyMMdd")))
                                   : c.findKey(key.trimmed().isEmpty() ? QString() : key);
            const auto it = firstLive.find(key);
            ASSERT_EQ(found, it != firstLive.end()) << tag << " " << key.toStdString();
            if (found) {
                EXPECT_EQ(c.recordNumber(), it->second) << tag << " " << key.toStdString();
            }
        }
    }
    c.close();
    // A foreign index is trusted: opening and reading never rewrote it.
    EXPECT_EQ(fileBytes(Table::productionIndexPath(path)), mdxBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, Fixtures,
    ::testing::Values(FixtureTable{"RIVISTE3", {"BARCODE", "FORNITORE", "NOME"}},
                      FixtureTable{"GIACENZA3", {"BARCODE2"}}, FixtureTable{"GIORNALE3", {"DATA"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ForeignTables, HandMadeDbaseThreeTableReads) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("HANDMADE.DBF"));
    QFile::copy(fixture(QStringLiteral("HANDMADE.DBF")), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    Cursor c(path);
    c.open();
    EXPECT_EQ(c.table().tagCount(), 0);
    struct Row {
        uint32_t recno;
        const char* code;
        double peso, qta;
        QDate nato;
        bool attivo, blank;
    } rows[] = {
        {1, "A1", 1.25, 42, QDate(1999, 12, 31), true, false},
        {3, "B\u00e92", -0.5, -17, QDate(2000, 2, 29), false, false},
        {4, "", 0, 0, QDate(), false, true},
        {5, "ZZZZZZ", 9999.999, 99999, QDate(2025, 10, 11), true, false},
    };
    c.first();
    for (const Row& r : rows) {
        ASSERT_FALSE(c.eof());
        EXPECT_EQ(c.recordNumber(), r.recno);
        EXPECT_EQ(c.text(QStringLiteral("codice")), QString::fromUtf8(r.code));
        EXPECT_DOUBLE_EQ(c.number(QStringLiteral("PESO")), r.peso);
        EXPECT_DOUBLE_EQ(c.number(QStringLiteral("QTA")), r.qta);
        EXPECT_EQ(c.date(QStringLiteral("NATO")), r.nato);
        EXPECT_EQ(c.logical(QStringLiteral("ATTIVO")), r.attivo);
        EXPECT_EQ(c.isBlank(QStringLiteral("ATTIVO")), r.blank);
        c.next();
    }
    EXPECT_TRUE(c.eof());
    // The missing end-of-file mark is added, the records are untouched.
    c.close();
    const QByteArray bytes = fileBytes(path);
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(bytes.mid(32 * 6 + 1, 5 * 29),
              fileBytes(fixture(QStringLiteral("HANDMADE.DBF"))).mid(32 * 6 + 1, 5 * 29));
}

TEST(ForeignTables, IndexLeftBehindByAnotherProgramIsRebuiltAtFirstSight) {
    // An installation moving over, whose last session crashed after writing a
    // stock record but before its index: the .MDX is sound, only short.
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("GIACENZA3"));
    QByteArray bytes = fileBytes(path);
    const DbfLayout layout = DbfLayout::parse(bytes, path);
    QByteArray r = layout.blankRecord();
    layout.setText(layout.fieldIndex(u"BARCODE2"), r, QStringLiteral("977000000000012345"));
    bytes.chop(1);
    bytes += r + '\x1A';
    setCountOf(bytes, layout.recordCount + 1);
    writeBytes(path, bytes);

    Cursor c(path);
    c.setIndex(QStringLiteral("BARCODE2"));
    c.open();
    EXPECT_TRUE(c.findKey(QStringLiteral("977000000000012345")));
    EXPECT_EQ(c.recordNumber(), layout.recordCount + 1);
    EXPECT_TRUE(c.findKey(QStringLiteral("977437321900071")));  // the old entries are all there
    EXPECT_EQ(c.recordNumber(), 198u);
}

// ---- a second reader ----

QString pythonWithDbfread() {
    for (const QString& python : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess p;
        p.start(python, {QStringLiteral("-c"), QStringLiteral("import dbfread")});
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return python;
    }
    return {};
}

TEST(SecondReader, DbfreadReadsWhatWeWrite) {
    const QString python = pythonWithDbfread();
    ASSERT_FALSE(python.isEmpty()) << "python3-dbfread is part of the build dependencies";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("OUT.DBF"));
    Table::create(path,
                  {{QStringLiteral("NOME"), 'C', 30, 0},
                   {QStringLiteral("PREZZO"), 'N', 10, 2},
                   {QStringLiteral("GIACENZA"), 'F', 10, 0},
                   {QStringLiteral("DATA"), 'D', 8, 0},
                   {QStringLiteral("FLAG"), 'L', 1, 0}},
                  {QStringLiteral("NOME"), QStringLiteral("DATA")});
    struct Row {
        QString nome;
        double prezzo, giacenza;
        QDate data;
        int flag;  // -1 blank
    } rows[] = {
        {QStringLiteral("Città d'È \"quoted\" €"), 12.5, -3, QDate(2024, 2, 29), 1},
        {QString(), 0, 10000, QDate(), 0},
        {QStringLiteral("exactly thirty characters long"), -0.01, 0, QDate(1999, 1, 1), -1},
        {QStringLiteral("deleted one"), 1, 1, QDate(2020, 1, 1), 1},
    };
    auto dbfread = [&] {
        const QString script = QStringLiteral(
            "import dbfread, json, sys\n"
            "t = dbfread.DBF(sys.argv[1], encoding='cp1252', load=True, "
            "ignore_missing_memofile=True)\n"
            "out = {'deleted': len(t.deleted), 'records': [dict(r) for r in t.records],\n"
            "       'fields': [[f.name, f.type, f.length, f.decimal_count] for f in t.fields]}\n"
            "print(json.dumps(out, default=str))\n");
        QProcess p;
        p.start(python, {QStringLiteral("-c"), script, path});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    };
    {
        Cursor c(path);
        c.open();
        for (const Row& r : rows) {
            c.append();
            c.setText(QStringLiteral("NOME"), r.nome);
            c.setNumber(QStringLiteral("PREZZO"), r.prezzo);
            c.setNumber(QStringLiteral("GIACENZA"), r.giacenza);
            c.setDate(QStringLiteral("DATA"), r.data);
            if (r.flag >= 0) c.setLogical(QStringLiteral("FLAG"), r.flag == 1);
            c.post();
        }
        c.deleteRecord();  // the last one
        // While the table is still open here, with the header's last writes
        // not yet synced: another tool reads the header every process reads,
        // which counts every post that returned.
        const QJsonObject meanwhile = dbfread();
        EXPECT_EQ(meanwhile[QStringLiteral("deleted")].toInt(), 1);
        EXPECT_EQ(meanwhile[QStringLiteral("records")].toArray().size(), 3);
        c.close();
    }
    const QByteArray bytes = fileBytes(path);
    EXPECT_EQ(uint8_t(bytes[0]), 0x03);
    EXPECT_EQ(uint8_t(bytes[28]), 0x01);
    EXPECT_EQ(uint8_t(bytes[29]), 0x57);
    const QDate today = QDate::currentDate();
    const char stamp[3] = {char(today.year() - 1900), char(today.month()), char(today.day())};
    EXPECT_EQ(bytes.mid(1, 3), QByteArray(stamp, 3));
    EXPECT_EQ(bytes.back(), '\x1A');

    const QJsonObject out = dbfread();
    EXPECT_EQ(out[QStringLiteral("deleted")].toInt(), 1);
    const QJsonArray fields = out[QStringLiteral("fields")].toArray();
    ASSERT_EQ(fields.size(), 5);
    EXPECT_EQ(fields[1].toArray()[1].toString(), QStringLiteral("N"));
    EXPECT_EQ(fields[1].toArray()[3].toInt(), 2);
    const QJsonArray records = out[QStringLiteral("records")].toArray();
    ASSERT_EQ(records.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject r = records[i].toObject();
        EXPECT_EQ(r[QStringLiteral("NOME")].toString(), rows[i].nome) << i;
        EXPECT_DOUBLE_EQ(r[QStringLiteral("PREZZO")].toDouble(), rows[i].prezzo) << i;
        EXPECT_DOUBLE_EQ(r[QStringLiteral("GIACENZA")].toDouble(), rows[i].giacenza) << i;
        if (rows[i].data.isValid()) {
            EXPECT_EQ(r[QStringLiteral("DATA")].toString(), rows[i].data.toString(Qt::ISODate))
                << i;
        } else {
            EXPECT_TRUE(r[QStringLiteral("DATA")].isNull()) << i;
        }
        if (rows[i].flag >= 0) {
            EXPECT_EQ(r[QStringLiteral("FLAG")].toBool(), rows[i].flag == 1) << i;
        } else {
            EXPECT_TRUE(r[QStringLiteral("FLAG")].isNull()) << i;
        }
    }
}

// ---- table operations ----

void appendJournal(Cursor& c, const QString& id, const QDate& date, double q = 1) {
    c.append();
    c.setText(QStringLiteral("ID"), id);
    c.setDate(QStringLiteral("DATA"), date);
    c.setNumber(QStringLiteral("QUANTITA"), q);
    c.post();
}

std::vector<QString> idsByIndex(Cursor& c, const QString& tag) {
    c.setIndex(tag);
    std::vector<QString> ids;
    for (c.first(); !c.eof(); c.next()) ids.push_back(c.text(QStringLiteral("ID")));
    return ids;
}

TEST(TableOperations, CreateRefusesToReplaceAndChecksTags) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    EXPECT_NE(message([&] { createJournal(dir); }).find("already exists"), std::string::npos);
    EXPECT_NE(message([&] {
                  Table::create(dir.filePath(QStringLiteral("X.DBF")), test::journalFields(),
                                {QStringLiteral("QUANTITA")});
              }).find("only character and date"),
              std::string::npos);
    EXPECT_NE(message([&] {
                  Table::create(dir.filePath(QStringLiteral("Y.DBF")), test::journalFields(),
                                {QStringLiteral("NOPE")});
              }).find("Field 'NOPE' not found"),
              std::string::npos);
    const QByteArray bytes = fileBytes(path);
    EXPECT_EQ(uint8_t(bytes[28]), 1);
    EXPECT_EQ(uint8_t(bytes[32 + 31]), 1);      // ID carries a tag
    EXPECT_EQ(uint8_t(bytes[32 * 3 + 31]), 0);  // QUANTITA does not
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("J.MDX"))));
}

TEST(TableOperations, EmptyKeepsStructureAndIndexes) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    Cursor c(path);
    c.open();
    for (int i = 0; i < 5; ++i) appendJournal(c, QString::number(i), QDate(2024, 1, 1 + i));
    c.table().empty();
    c.first();
    EXPECT_TRUE(c.eof() && c.bof());
    EXPECT_EQ(c.recordCount(), 0);
    EXPECT_EQ(c.table().tagCount(), 2);
    EXPECT_EQ(QFileInfo(path).size(), 32 + 5 * 32 + 1 + 1);
    appendJournal(c, QStringLiteral("again"), QDate(2024, 5, 5));
    c.setIndex(QStringLiteral("ID"));
    EXPECT_TRUE(c.findKey(QStringLiteral("again")));
    EXPECT_EQ(c.recordNumber(), 1u);
}

TEST(TableOperations, PackPurgesDeletedAndRegeneratesIndexes) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    Cursor c(path);
    c.open();
    for (int i = 0; i < 20; ++i)
        appendJournal(c, QStringLiteral("K%1").arg(19 - i, 2, 10, QLatin1Char('0')),
                      QDate(2024, 1, 1 + i));
    c.setIndex(QString());
    for (c.first(); !c.eof();) {
        if (c.recordNumber() % 3 == 0) {
            c.deleteRecord();
        } else {
            c.next();
        }
    }
    const auto before = idsByIndex(c, QStringLiteral("ID"));
    EXPECT_EQ(before.size(), 14u);
    EXPECT_NO_THROW(c.table().pack());
    EXPECT_EQ(c.table().recordCount(), 14u);
    EXPECT_EQ(c.table().liveCount(), 14u);
    EXPECT_EQ(idsByIndex(c, QStringLiteral("ID")), before);
    auto byDate = idsByIndex(c, QStringLiteral("DATA"));
    std::reverse(byDate.begin(), byDate.end());
    EXPECT_EQ(byDate, before);
    c.close();
    // The packed file is what a reopen sees, index included.
    EXPECT_EQ(QFileInfo(path).size(), 32 + 5 * 32 + 1 + 14 * 48 + 1);
    Cursor again(path);
    again.open();
    EXPECT_EQ(idsByIndex(again, QStringLiteral("ID")), before);
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".pack")));
}

TEST(TableOperations, AddIndexAndClearTheProductionIndexFlag) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("P.DBF"));
    Table::create(path, test::journalFields(), {});
    {
        Cursor c(path);
        c.open();
        appendJournal(c, QStringLiteral("b"), QDate(2024, 1, 2));
        appendJournal(c, QStringLiteral("a"), QDate(2024, 1, 3));
        EXPECT_EQ(uint8_t(fileBytes(path)[28]), 0);
        c.table().addIndex(QStringLiteral("id"));
        EXPECT_NE(message([&] { c.table().addIndex(QStringLiteral("ID")); }).find("already exists"),
                  std::string::npos);
        EXPECT_NE(message([&] {
                      c.table().addIndex(QStringLiteral("PREZZO"));
                  }).find("only character and date"),
                  std::string::npos);
        c.table().addIndex(QStringLiteral("DATA"));
        EXPECT_EQ((idsByIndex(c, QStringLiteral("ID"))),
                  (std::vector<QString>{QStringLiteral("a"), QStringLiteral("b")}));
        appendJournal(c, QStringLiteral("0"), QDate(2023, 1, 1));
        EXPECT_EQ(idsByIndex(c, QStringLiteral("DATA")).front(), QStringLiteral("0"));
    }
    QByteArray bytes = fileBytes(path);
    EXPECT_EQ(uint8_t(bytes[28]), 1);
    EXPECT_EQ(uint8_t(bytes[32 + 31]), 1);
    EXPECT_EQ(uint8_t(bytes[64 + 31]), 1);

    Table::clearProductionIndexFlag(path);
    bytes = fileBytes(path);
    EXPECT_EQ(uint8_t(bytes[28]), 0);
    EXPECT_EQ(uint8_t(bytes[32 + 31]), 0);
    Cursor c(path);
    c.open();
    EXPECT_EQ(c.table().tagCount(), 0);
    EXPECT_EQ(c.recordCount(), 3);
    EXPECT_NE(message([&] { c.setIndex(QStringLiteral("ID")); }).find("Index 'ID' not found"),
              std::string::npos);
    EXPECT_NE(message([&] { Table::clearProductionIndexFlag(path); }).find("in use"),
              std::string::npos);
}

TEST(TableOperations, BatchAppendByFieldPosition) {
    QTemporaryDir dir;
    // Version-2-like source: other names, an F instead of an N, one field fewer.
    const QString source = dir.filePath(QStringLiteral("OLD.DBF"));
    Table::create(source,
                  {{QStringLiteral("CODE"), 'C', 13, 0},
                   {QStringLiteral("WHEN"), 'D', 8, 0},
                   {QStringLiteral("QTY"), 'F', 12, 0},
                   {QStringLiteral("PRICE"), 'N', 8, 3}},
                  {});
    Cursor old(source);
    old.open();
    for (int i = 0; i < 3; ++i) {
        old.append();
        old.setText(QStringLiteral("CODE"), QStringLiteral("977%1").arg(i));
        old.setDate(QStringLiteral("WHEN"), QDate(2020, 5, 1 + i));
        old.setNumber(QStringLiteral("QTY"), -i);
        old.setNumber(QStringLiteral("PRICE"), 1.125 * i);
        old.post();
    }
    old.first();
    old.deleteRecord();
    const QString target = createJournal(dir);
    Cursor c(target);
    c.open();
    EXPECT_EQ(c.table().appendFrom(old.table()), 2u);
    EXPECT_EQ(idsByIndex(c, QStringLiteral("ID")),
              (std::vector<QString>{QStringLiteral("9771"), QStringLiteral("9772")}));
    c.findKey(QStringLiteral("9772"));
    EXPECT_EQ(c.date(QStringLiteral("DATA")), QDate(2020, 5, 3));
    EXPECT_EQ(c.number(QStringLiteral("QUANTITA")), -2.0);
    EXPECT_EQ(c.number(QStringLiteral("PREZZO")), 2.25);  // 2.250 into two decimals

    // A value that does not fit stops the batch before anything is written.
    old.append();
    old.setNumber(QStringLiteral("QTY"), 123456789012.0);
    old.post();
    EXPECT_NE(message([&] { c.table().appendFrom(old.table()); }).find("does not fit"),
              std::string::npos);
    EXPECT_EQ(c.recordCount(), 2);
}

TEST(TableOperations, ExclusiveOpenInsideTheProcess) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    Cursor a(path);
    a.open();
    Cursor b(path);
    b.setExclusive(true);
    EXPECT_NE(message([&] { b.open(); }).find("is in use"), std::string::npos);
    a.close();
    b.open();
    EXPECT_TRUE(b.table().exclusive());
    EXPECT_NE(message([&] { a.open(); }).find("is in use"), std::string::npos);
}

TEST(TableErrors, MissingAndForeignFilesNamed) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("NONE.DBF"));
    EXPECT_NE(message([&] { Table::open(missing); }).find("Table not found"), std::string::npos);
    const QString text = dir.filePath(QStringLiteral("TEXT.DBF"));
    writeBytes(text, QByteArray("this is not a table at all, just some text that is long enough"));
    const std::string m = message([&] { Table::open(text); });
    EXPECT_NE(m.find("is not a dBASE table"), std::string::npos) << m;
    EXPECT_NE(m.find("TEXT.DBF"), std::string::npos) << m;
}

TEST(TableWrites, ManyDeletionsAsOneChangeSkipThoseAlreadyGone) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    {
        Cursor c(path);
        c.open();
        for (int i = 1; i <= 10; ++i)
            appendJournal(c, QStringLiteral("R%1").arg(i), QDate(2024, 1, i));
        c.table().markDeleted(9);
        EXPECT_EQ(c.table().markDeletedMany({2, 4, 4, 9, 11}), 2u);  // 4 twice, 9 gone, no 11
        EXPECT_EQ(c.table().liveCount(), 7u);
    }
    Cursor c(path);
    c.open();
    EXPECT_EQ(idsByIndex(c, QStringLiteral("ID")),
              (std::vector<QString>{"R1", "R10", "R3", "R5", "R6", "R7", "R8"}));
}

// ---- repairs at open ----

struct Damage {
    const char* name;
    std::function<void(const QString& dbf, const QString& mdx)> spoil;
    uint32_t records;  // expected afterwards
};

class Repairs : public ::testing::TestWithParam<Damage> {};

constexpr int kHeader = 32 + 5 * 32 + 1;
constexpr int kRecord = 48;

QByteArray journalRecord(const QString& id) {
    DbfLayout layout(QStringLiteral("J.DBF"), test::journalFields());
    QByteArray r = layout.blankRecord();
    layout.setText(0, r, id);
    layout.setDate(1, r, QDate(2025, 1, 1));
    return r;
}

void setCount(QByteArray& bytes, uint32_t n) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = char((n >> (8 * i)) & 0xFF);
}

void bumpChanges(QByteArray& bytes) {  // "a change began and never finished"
    bytes[20] = char(bytes[20] + 1);
}

TEST_P(Repairs, OpenRepairsAndIndexMatchesTable) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    const QString mdx = Table::productionIndexPath(path);
    {
        Cursor c(path);
        c.open();
        for (int i = 0; i < 5; ++i)
            appendJournal(c, QStringLiteral("R%1").arg(i), QDate(2024, 3, 1 + i));
    }
    GetParam().spoil(path, mdx);
    Cursor c(path);
    c.open();
    EXPECT_EQ(c.table().recordCount(), GetParam().records);
    std::vector<QString> physical;
    c.setIndex(QString());
    for (c.first(); !c.eof(); c.next()) physical.push_back(c.text(QStringLiteral("ID")));
    ASSERT_EQ(physical.size(), GetParam().records);
    std::vector<QString> sorted = physical;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(idsByIndex(c, QStringLiteral("ID")), sorted);
    c.setIndex(QStringLiteral("ID"));
    for (const QString& id : physical) EXPECT_TRUE(c.findKey(id)) << id.toStdString();
    c.close();
    const QByteArray bytes = fileBytes(path);
    EXPECT_EQ(bytes.size(), kHeader + int(GetParam().records) * kRecord + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
}

INSTANTIATE_TEST_SUITE_P(
    AfterCrash, Repairs,
    ::testing::Values(
        Damage{"IndexMissing", [](const QString&, const QString& mdx) { QFile::remove(mdx); }, 5},
        Damage{
            "IndexGarbage",
            [](const QString&, const QString& mdx) { writeBytes(mdx, QByteArray(3000, '\x5A')); },
            5},
        Damage{
            "IndexTruncated",
            [](const QString&, const QString& mdx) { writeBytes(mdx, fileBytes(mdx).left(700)); },
            5},
        Damage{"IndexBehindTable",  // crash after the table was synced, before the index
               [](const QString& dbf, const QString&) {
                   QByteArray b = fileBytes(dbf);
                   b.chop(1);
                   b += journalRecord(QStringLiteral("NEW")) + '\x1A';
                   setCount(b, 6);
                   bumpChanges(b);
                   writeBytes(dbf, b);
               },
               6},
        Damage{"TornLastRecord",
               [](const QString& dbf, const QString&) {
                   QByteArray b = fileBytes(dbf);
                   b.chop(1);
                   b += journalRecord(QStringLiteral("TORN")).left(20);
                   setCount(b, 6);
                   bumpChanges(b);
                   writeBytes(dbf, b);
               },
               5},
        Damage{"HeaderCountLags",
               [](const QString& dbf, const QString&) {
                   QByteArray b = fileBytes(dbf);
                   b.chop(1);
                   b += journalRecord(QStringLiteral("LATE")) + '\x1A';
                   writeBytes(dbf, b);
               },
               6},
        Damage{"HeaderCountAhead",
               [](const QString& dbf, const QString&) {
                   QByteArray b = fileBytes(dbf);
                   setCount(b, 9);
                   writeBytes(dbf, b);
               },
               5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TableErrors, UnreadableTableIsDamagedNotRepaired) {
    QTemporaryDir dir;
    const QString path = createJournal(dir);
    QByteArray b = fileBytes(path);
    writeBytes(path, b.left(100));  // the header is cut
    const std::string m = message([&] { Table::open(path); });
    EXPECT_NE(m.find("is damaged"), std::string::npos) << m;
    EXPECT_EQ(fileBytes(path).size(), 100);
}

}  // namespace
}  // namespace dbase

// Production index: reading the fixture files, writing files with the same
// layout, and keeping a tag equal to a model through random changes.
#include "archive/dbase/mdx_index.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <set>

using namespace dbase;

namespace {

const QString kFixtures = QStringLiteral(TASMERO_FIXTURES "/dbase/");

struct CsvEntry {
    uint32_t recno;
    QByteArray key;  // as stored in the tag
};

// One tag's CSV: POS, RECNO, DELETED, KEY[, KEY_JULIAN]; fields quoted, cp1252.
std::vector<CsvEntry> readTagCsv(const QString& file, bool date) {
    QFile f(kFixtures + file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    std::vector<CsvEntry> out;
    f.readLine();
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().chopped(1);
        std::vector<QByteArray> fields;
        QByteArray cur;
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    cur += '"';
                    ++i;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    cur += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                fields.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        fields.push_back(cur);
        CsvEntry e;
        e.recno = fields.at(1).toUInt();
        if (date) {
            QByteArray k(8, '\0');
            const double jd = fields.at(4).toDouble();
            std::memcpy(k.data(), &jd, 8);
            e.key = k;
        } else {
            e.key = fields.at(3);
        }
        out.push_back(e);
    }
    return out;
}

struct FixtureTag {
    const char* table;
    const char* tag;
    KeyType type;
    int keyLength;
};

const FixtureTag kFixtureTags[] = {
    {"RIVISTE3", "BARCODE", KeyType::Character, 13},
    {"RIVISTE3", "FORNITORE", KeyType::Character, 3},
    {"RIVISTE3", "NOME", KeyType::Character, 30},
    {"GIACENZA3", "BARCODE2", KeyType::Character, 18},
    {"GIORNALE3", "DATA", KeyType::Date, 8},
};

std::vector<CsvEntry> walk(const MdxIndex& index, int tag) {
    std::vector<CsvEntry> out;
    for (auto e = index.first(tag); e; e = index.next(tag, *e)) out.push_back({e->recno, e->key});
    return out;
}

std::vector<CsvEntry> walkBack(const MdxIndex& index, int tag) {
    std::vector<CsvEntry> out;
    for (auto e = index.last(tag); e; e = index.prior(tag, *e)) out.push_back({e->recno, e->key});
    std::reverse(out.begin(), out.end());
    return out;
}

void expectSame(const std::vector<CsvEntry>& got, const std::vector<CsvEntry>& want,
                const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].recno, want[i].recno) << what << " at " << i;
        ASSERT_EQ(got[i].key, want[i].key) << what << " at " << i;
    }
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

uint32_t u32(const QByteArray& b, qsizetype at) {
    uint32_t v;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}

}  // namespace

TEST(MdxIndex, FixtureTagsWalkInTheirCsvOrder) {
    for (const FixtureTag& f : kFixtureTags) {
        SCOPED_TRACE(f.tag);
        auto index = MdxIndex::open(kFixtures + f.table + ".MDX", false);
        const int tag = index->findTag(QString::fromLatin1(f.tag).toLower());
        ASSERT_GE(tag, 0);
        EXPECT_EQ(index->tag(tag).field, QString::fromLatin1(f.tag));
        EXPECT_EQ(index->tag(tag).type, f.type);
        EXPECT_EQ(index->tag(tag).keyLength, f.keyLength);
        const auto want =
            readTagCsv(QStringLiteral("%1.%2.csv").arg(f.table, f.tag), f.type == KeyType::Date);
        expectSame(walk(*index, tag), want, "forward");
        expectSame(walkBack(*index, tag), want, "backward");
        EXPECT_EQ(index->verify().at(size_t(tag)), want.size());

        // Seeking each key finds its first occurrence; next/prior from any
        // entry (no cached position) find its neighbours.
        for (size_t i = 0; i < want.size(); ++i) {
            const auto e = index->seek(tag, want[i].key);
            ASSERT_TRUE(e);
            const size_t firstOfKey =
                size_t(std::find_if(want.begin(), want.end(),
                                    [&](const CsvEntry& c) { return c.key == want[i].key; }) -
                       want.begin());
            EXPECT_EQ(e->recno, want[firstOfKey].recno);
            const auto n = index->next(tag, IndexEntry{want[i].key, want[i].recno});
            if (i + 1 < want.size())
                EXPECT_TRUE(n && n->recno == want[i + 1].recno)
                    << i << " got " << (n ? int(n->recno) : -1) << " want " << want[i + 1].recno;
            else
                EXPECT_FALSE(n);
            const auto p = index->prior(tag, IndexEntry{want[i].key, want[i].recno});
            if (i > 0)
                EXPECT_TRUE(p && p->recno == want[i - 1].recno);
            else
                EXPECT_FALSE(p);
        }
    }
}

TEST(MdxIndex, KeysAreBuiltAsTheFilesStoreThem) {
    EXPECT_EQ(MdxIndex::characterKey("D01", 5), QByteArray("D01  "));
    EXPECT_EQ(MdxIndex::characterKey("977123456789012345", 13), QByteArray("9771234567890"));
    EXPECT_EQ(MdxIndex::julianDay(QDate(2000, 1, 1)), 2451545.0);
    EXPECT_EQ(MdxIndex::julianDay(QDate()), kEmptyDateJulian);
    // The first entry of the journal fixture: 2022-12-26.
    const auto want = readTagCsv(QStringLiteral("GIORNALE3.DATA.csv"), true);
    EXPECT_EQ(MdxIndex::dateKey(QDate(2022, 12, 26)), want.front().key);
    EXPECT_EQ(MdxIndex::dateKey(QDate()), want.back().key);
}

// A file we build from the fixture's entries has the fixture's layout: the same
// header and tag-table bytes, the same tag-header fields, and it walks in the
// same order after reopening.
TEST(MdxIndex, FilesWeWriteHaveTheFixtureLayout) {
    QTemporaryDir dir;
    struct Table {
        const char* name;
        std::vector<const FixtureTag*> tags;
    };
    const Table tables[] = {{"RIVISTE3", {&kFixtureTags[0], &kFixtureTags[1], &kFixtureTags[2]}},
                            {"GIACENZA3", {&kFixtureTags[3]}},
                            {"GIORNALE3", {&kFixtureTags[4]}}};
    for (const Table& table : tables) {
        SCOPED_TRACE(table.name);
        const QString path = dir.filePath(QString::fromLatin1(table.name) + ".MDX");
        std::vector<TagSpec> tagDefs;
        for (const FixtureTag* f : table.tags)
            tagDefs.push_back(
                {QString::fromLatin1(f->tag), QString::fromLatin1(f->tag), f->type, f->keyLength});
        {
            auto index = MdxIndex::create(path, tagDefs);
            std::mt19937 rng(7);
            for (size_t i = 0; i < table.tags.size(); ++i) {
                const FixtureTag* f = table.tags[i];
                auto csv = readTagCsv(QStringLiteral("%1.%2.csv").arg(f->table, f->tag),
                                      f->type == KeyType::Date);
                std::shuffle(csv.begin(), csv.end(), rng);
                std::vector<IndexEntry> entries;
                for (const CsvEntry& c : csv) entries.push_back({c.key, c.recno});
                index->rebuild(int(i), std::move(entries));
            }
            index->sync();
        }
        auto index = MdxIndex::open(path, false);
        ASSERT_EQ(index->tagCount(), int(table.tags.size()));
        for (size_t i = 0; i < table.tags.size(); ++i) {
            const FixtureTag* f = table.tags[i];
            expectSame(walk(*index, int(i)),
                       readTagCsv(QStringLiteral("%1.%2.csv").arg(f->table, f->tag),
                                  f->type == KeyType::Date),
                       f->tag);
        }
        index->verify();

        const QByteArray ours = readFile(path);
        const QByteArray theirs = readFile(kFixtures + table.name + ".MDX");
        EXPECT_EQ(u32(ours, 32) * 512, uint32_t(ours.size()));  // pages in the file
        EXPECT_EQ(ours.mid(0, 1), theirs.mid(0, 1));
        EXPECT_EQ(ours.mid(4, 28), theirs.mid(4, 28));        // name, block size, flags, tag count
        EXPECT_EQ(ours.mid(36, 8), theirs.mid(36, 8));        // no free pages
        EXPECT_EQ(ours.mid(48, 2000), theirs.mid(48, 2000));  // incl. the whole tag table
        for (size_t i = 0; i < table.tags.size(); ++i) {
            const qsizetype h = qsizetype(u32(ours, 544 + 32 * qsizetype(i))) * 512;
            const qsizetype th = qsizetype(u32(theirs, 544 + 32 * qsizetype(i))) * 512;
            EXPECT_EQ(ours.mid(h + 8, 12), theirs.mid(th + 8, 12));  // key format .. item length
            EXPECT_EQ(ours.mid(h + 23, 223), theirs.mid(th + 23, 223));  // unique flag, expression
            EXPECT_EQ(ours[h + 246], theirs[th + 246]);
            EXPECT_EQ(ours[h + 480], theirs[th + 480]);
            // First and last leaf: the leftmost and rightmost descents.
            uint32_t page = u32(ours, h);
            for (int depth = 0; depth < 8; ++depth) {
                const qsizetype at = qsizetype(page) * 512;
                const int itemLen = int(uint8_t(ours[h + 18]));
                const uint32_t count = u32(ours, at);
                if (u32(ours, at + 8 + qsizetype(count) * itemLen) == 0) break;
                page = u32(ours, at + 8);
            }
            EXPECT_EQ(u32(ours, h + 248), page);
        }
    }
}

// Random inserts and removals against a model, on tags whose nodes are small
// (long keys) or full of equal keys, so splits, emptied leaves, interior
// merges and root growth and collapse all happen.
TEST(MdxIndex, RandomChangesMatchAModel) {
    struct Case {
        unsigned seed;
        KeyType type;
        int keyLength;
        int distinctKeys;
        int ops;
    };
    const Case cases[] = {
        {1, KeyType::Character, 100, 50, 6000},    // 9 keys per node, many equal keys
        {2, KeyType::Character, 100, 5000, 6000},  // 9 keys per node, mostly distinct
        {3, KeyType::Character, 3, 4, 8000},       // 126 keys per node, long runs of equal keys
        {4, KeyType::Date, 8, 300, 8000},         {5, KeyType::Character, 60, 20, 5000},
    };
    QTemporaryDir dir;
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.seed);
        const QString path = dir.filePath(QStringLiteral("random%1.mdx").arg(cs.seed));
        auto index = MdxIndex::create(
            path, {{QStringLiteral("K"), QStringLiteral("K"), cs.type, cs.keyLength}});
        std::mt19937 rng(cs.seed);
        std::set<std::pair<QByteArray, uint32_t>> model;
        auto makeKey = [&](int k) {
            if (cs.type == KeyType::Date)
                return k == 0 ? MdxIndex::dateKey(QDate())
                              : MdxIndex::dateKey(QDate(2020, 1, 1).addDays(k));
            return MdxIndex::characterKey(
                QByteArray::number(k * 7919 % 100000).rightJustified(5, '0'), cs.keyLength);
        };
        auto toList = [&](auto& m) {
            std::vector<CsvEntry> v;
            for (const auto& [k, r] : m) v.push_back({r, k});
            // Dates compare as numbers, which is byte order only for the model's
            // positive values of equal exponent; sort the model the tag's way.
            if (cs.type == KeyType::Date)
                std::stable_sort(v.begin(), v.end(), [](const CsvEntry& a, const CsvEntry& b) {
                    double x, y;
                    std::memcpy(&x, a.key.constData(), 8);
                    std::memcpy(&y, b.key.constData(), 8);
                    return x < y || (x == y && a.recno < b.recno);
                });
            return v;
        };
        uint32_t nextRecno = 1;
        for (int op = 0; op < cs.ops; ++op) {
            // Grow first, then shrink to empty, with noise, so the tree goes
            // up and comes back down.
            const bool growing = op < cs.ops / 2;
            const bool doInsert = model.empty() || (rng() % 100) < (growing ? 70u : 25u);
            if (doInsert) {
                const QByteArray k = makeKey(int(rng() % unsigned(cs.distinctKeys)));
                const uint32_t r = (rng() % 4 == 0) ? uint32_t(rng() % nextRecno + 1) : nextRecno++;
                index->insert(0, k, r);
                model.insert({k, r});
            } else {
                auto it = model.begin();
                std::advance(it, rng() % model.size());
                ASSERT_TRUE(index->remove(0, it->first, it->second));
                EXPECT_FALSE(index->remove(0, it->first, it->second));
                model.erase(it);
            }
            if (op % 500 == 0) {
                expectSame(walk(*index, 0), toList(model), "during");
                ASSERT_EQ(index->verify().at(0), model.size());
            }
            if (op == cs.ops / 2) {
                index->flush();
                index = MdxIndex::open(path, true);
                expectSame(walk(*index, 0), toList(model), "reopened");
            }
        }
        expectSame(walk(*index, 0), toList(model), "end");
        expectSame(walkBack(*index, 0), toList(model), "end backward");
        index->sync();
        index = MdxIndex::open(path, false);
        expectSame(walk(*index, 0), toList(model), "after close");
        ASSERT_EQ(index->verify().at(0), model.size());
    }
}

TEST(MdxIndex, AddTagAndRebuildKeepTheOtherTags) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("RIVISTE3.MDX"));
    QFile::copy(kFixtures + "RIVISTE3.MDX", path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    const auto nome = readTagCsv(QStringLiteral("RIVISTE3.NOME.csv"), false);
    {
        auto index = MdxIndex::open(path, true);
        std::vector<IndexEntry> entries;
        for (const CsvEntry& c : nome) entries.push_back({c.key.left(10), c.recno});
        EXPECT_THROW(
            index->addTag(
                {QStringLiteral("BARCODE"), QStringLiteral("BARCODE"), KeyType::Character, 13}, {}),
            EngineError);
        const int tag = index->addTag(
            {QStringLiteral("SHORT"), QStringLiteral("NOME"), KeyType::Character, 10}, entries);
        EXPECT_EQ(tag, 3);
        index->rebuild(index->findTag(QStringLiteral("FORNITORE")), {});
        index->insert(index->findTag(QStringLiteral("FORNITORE")), "X", 3);
        index->flush();
    }
    auto index = MdxIndex::open(path, false);
    ASSERT_EQ(index->tagCount(), 4);
    expectSame(walk(*index, 2), nome, "NOME");
    expectSame(walk(*index, 0), readTagCsv(QStringLiteral("RIVISTE3.BARCODE.csv"), false),
               "BARCODE");
    const auto fornitore = walk(*index, 1);
    ASSERT_EQ(fornitore.size(), 1u);
    EXPECT_EQ(fornitore[0].key, QByteArray("X  "));
    std::vector<CsvEntry> shortNames = nome;
    for (auto& c : shortNames) c.key = c.key.left(10);
    std::stable_sort(shortNames.begin(), shortNames.end(),
                     [](const CsvEntry& a, const CsvEntry& b) {
                         const int c = std::memcmp(a.key.constData(), b.key.constData(), 10);
                         return c < 0 || (c == 0 && a.recno < b.recno);
                     });
    expectSame(walk(*index, 3), shortNames, "SHORT");
    const auto counts = index->verify();
    EXPECT_EQ(counts, (std::vector<uint64_t>{56, 1, 56, 56}));
    const QByteArray bytes = readFile(path);
    EXPECT_EQ(uint8_t(bytes[28]), 4);                 // tags in use
    EXPECT_EQ(uint8_t(bytes[544 + 3 * 32 + 18]), 3);  // SHORT hangs below NOME in the name tree
}

TEST(MdxIndex, EmptiedTagGivesItsBlocksBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("T.MDX"));
    auto index =
        MdxIndex::create(path, {{QStringLiteral("D"), QStringLiteral("D"), KeyType::Date, 8}});
    const qint64 emptySize = QFileInfo(path).size();
    for (uint32_t r = 1; r <= 5000; ++r)
        index->insert(0, MdxIndex::dateKey(QDate(2024, 1, 1).addDays(r / 10)), r);
    index->flush();
    const qint64 fullSize = QFileInfo(path).size();
    EXPECT_GT(fullSize, emptySize + 50 * 1024);
    // Appends in key order keep leaves full: 84 keys per leaf.
    EXPECT_LT(fullSize, emptySize + (5000 / 84 + 8) * 1024);
    for (uint32_t r = 5000; r >= 1; --r)
        ASSERT_TRUE(index->remove(0, MdxIndex::dateKey(QDate(2024, 1, 1).addDays(r / 10)), r));
    index->flush();
    EXPECT_EQ(QFileInfo(path).size(), emptySize);
    EXPECT_FALSE(index->first(0));
    index->insert(0, MdxIndex::dateKey(QDate()), 9);
    EXPECT_EQ(index->first(0)->recno, 9u);
}

// Damaged or foreign files raise EngineError naming the file; nothing hangs.
TEST(MdxIndex, DamagedFilesAreReportedNotTrusted) {
    QTemporaryDir dir;
    const QByteArray good = readFile(kFixtures + "GIORNALE3.MDX");
    const uint32_t root = u32(good, 2048);
    auto put32 = [](QByteArray& b, qsizetype at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    struct Case {
        const char* what;
        std::function<void(QByteArray&)> spoil;
        bool atOpen;
    };
    const Case cases[] = {
        {"text file", [](QByteArray& b) { b = QByteArray(4000, 'x'); }, true},
        {"tiny file", [](QByteArray& b) { b = b.left(100); }, true},
        {"truncated", [](QByteArray& b) { b.chop(4096); }, true},
        {"root outside", [&](QByteArray& b) { put32(b, 2048, 99999); }, true},
        {"key length", [](QByteArray& b) { b[2048 + 12] = 9; }, true},
        {"child loops to root", [&](QByteArray& b) { put32(b, qsizetype(root) * 512 + 8, root); },
         false},
        {"child is header", [&](QByteArray& b) { put32(b, qsizetype(root) * 512 + 8, 4); }, false},
        {"key count", [&](QByteArray& b) { put32(b, qsizetype(root) * 512, 5000); }, false},
        {"shared subtree",
         [&](QByteArray& b) {
             put32(b, qsizetype(root) * 512 + 8 + 12, u32(b, qsizetype(root) * 512 + 8));
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bytes = good;
        c.spoil(bytes);
        const QString path = dir.filePath(QStringLiteral("BAD.MDX"));
        writeFile(path, bytes);
        try {
            auto index = MdxIndex::open(path, true);
            EXPECT_FALSE(c.atOpen);
            EXPECT_THROW(index->verify(), EngineError);
            try {
                size_t steps = 0;
                for (auto e = index->first(0); e && steps < 100000; e = index->next(0, *e)) ++steps;
                index->insert(0, MdxIndex::dateKey(QDate(2023, 5, 5)), 7000);
            } catch (const EngineError& e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("BAD.MDX")));
            }
            // A damaged tag can always be rebuilt.
            index->rebuild(0, {{MdxIndex::dateKey(QDate(2023, 5, 5)), 1}});
            index->flush();
            EXPECT_EQ(index->verify().at(0), 1u);
        } catch (const EngineError& e) {
            EXPECT_TRUE(c.atOpen) << e.what();
            EXPECT_TRUE(e.message().contains(QStringLiteral("BAD.MDX"))) << e.what();
        }
    }
    // Read-only files refuse changes.
    auto index = MdxIndex::open(kFixtures + "RIVISTE3.MDX", false);
    EXPECT_THROW(index->insert(0, "X", 1), EngineError);
}

TEST(MdxIndex, ReloadSeesAnotherWriter) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("R.MDX"));
    auto writer =
        MdxIndex::create(path, {{QStringLiteral("C"), QStringLiteral("C"), KeyType::Character, 4}});
    auto reader = MdxIndex::open(path, false);
    EXPECT_FALSE(reader->first(0));
    for (uint32_t r = 1; r <= 300; ++r) writer->insert(0, QByteArray::number(r % 17), r);
    writer->flush();
    reader->reload();
    EXPECT_EQ(reader->verify().at(0), 300u);
    EXPECT_EQ(reader->first(0)->key, QByteArray("0   "));
}

// A bulk-built tag has full interior nodes; emptying all but one child of one
// of them makes it borrow a child from a full sibling (left, or right for the
// first node), which random changes rarely reach.
TEST(MdxIndex, InteriorNodeLeftWithOneChildBorrowsFromAFullSibling) {
    QTemporaryDir dir;
    for (const int group : {1, 0, 9}) {
        SCOPED_TRACE(group);
        const QString path = dir.filePath(QStringLiteral("B%1.MDX").arg(group));
        auto index = MdxIndex::create(
            path, {{QStringLiteral("K"), QStringLiteral("K"), KeyType::Character, 100}});
        // 100-byte keys: 9 keys per node, so 900 entries fill 100 leaves under
        // 10 full interior nodes under the root.
        std::vector<IndexEntry> entries;
        std::vector<CsvEntry> model;
        for (uint32_t i = 0; i < 900; ++i) {
            const QByteArray k =
                MdxIndex::characterKey(QByteArray::number(i).rightJustified(4, '0'), 100);
            entries.push_back({k, i + 1});
            model.push_back({i + 1, k});
        }
        index->rebuild(0, entries);
        // Empty leaves 0..8 of interior node `group` (entries of 9 leaves of 9).
        const size_t from = size_t(group) * 90, to = from + 81;
        for (size_t i = from; i < to; ++i)
            ASSERT_TRUE(index->remove(0, model[i].key, model[i].recno));
        model.erase(model.begin() + qsizetype(from), model.begin() + qsizetype(to));
        expectSame(walk(*index, 0), model, "after");
        expectSame(walkBack(*index, 0), model, "backward");
        EXPECT_EQ(index->verify().at(0), model.size());
        index->flush();
        expectSame(walk(*MdxIndex::open(path, false), 0), model, "reopened");
    }
}

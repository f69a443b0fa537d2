#include "maintenance/cabinet.h"
#include "maintenance/cabinet_layout.h"

#include "support/cabinet_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

using maintenance::CabinetEntry;
using maintenance::CabinetError;
using maintenance::CabinetWriter;
using maintenance::extractAll;
using maintenance::listCabinet;
using namespace cabinet_test;
namespace layout = maintenance::cabinet_layout;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TASMERO_FIXTURES "/cab/") + QLatin1String(name);
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

class CabinetTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    QTemporaryDir dir_;
};

// A folder with an empty file, small ones, a 50 MB one, a read-only one and a
// hidden one, with dates on both sides of a daylight-saving change.
struct SampleFolder {
    struct File {
        QString name;
        QByteArray data;
        QDateTime modified;
        bool readOnly = false;
    };
    std::vector<File> files;

    explicit SampleFolder(const QString& folder) {
        files = {
            {"Empty.dbf", {}, QDateTime(QDate(2023, 1, 15), QTime(8, 0, 1))},
            {"Riviste3.MDX", "small index\r\n", QDateTime(QDate(2023, 7, 1), QTime(23, 59, 59))},
            {"Giornale3.DBF", recordData(50 * 1024 * 1024 + 123, 7),
             QDateTime(QDate(2024, 3, 31), QTime(12, 34, 57))},
            {"Locked.dbf", "read-only table", QDateTime(QDate(2022, 12, 31), QTime(0, 0, 0)), true},
            {".hidden.frf", "template", QDateTime(QDate(2024, 10, 27), QTime(1, 30, 3))},
        };
        for (const File& file : files) {
            writeFile(QDir(folder).filePath(file.name), file.data, file.modified);
            if (file.readOnly) {
                QFile::setPermissions(QDir(folder).filePath(file.name),
                                      QFileDevice::ReadOwner | QFileDevice::ReadGroup);
            }
        }
    }
};

TEST_F(CabinetTest, CabextractListsAndExtractsOurCabinetsByteForByteWithDates) {
    setTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    const QString source = path("source");
    const SampleFolder sample(source);
    const QString cabinet = path("out/backup.cab");

    CabinetWriter writer;
    writer.create(cabinet);
    writer.addFiles(source, "*.dbf");
    writer.addFiles(source, "*.mdx");
    writer.addFiles(source, "*.frf");
    writer.close();
    EXPECT_FALSE(QFileInfo::exists(cabinet + ".tmp"));

    // cabextract -l: size, date and time (local), name.
    const ToolRun listing = run("cabextract", {"-l", cabinet});
    ASSERT_EQ(listing.exitCode, 0) << listing.output.toStdString();
    const QRegularExpression line(
        R"(^\s*(\d+) \| (\d\d)\.(\d\d)\.(\d{4}) (\d\d):(\d\d):(\d\d) \| (.+)$)",
        QRegularExpression::MultilineOption);
    std::map<QString, std::pair<qint64, QDateTime>> listed;
    for (auto it = line.globalMatch(listing.output); it.hasNext();) {
        const auto m = it.next();
        listed[m.captured(8).trimmed()] = {
            m.captured(1).toLongLong(),
            QDateTime(QDate(m.captured(4).toInt(), m.captured(3).toInt(), m.captured(2).toInt()),
                      QTime(m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt()))};
    }
    ASSERT_EQ(listed.size(), sample.files.size()) << listing.output.toStdString();

    const QString out = path("extracted");
    QDir().mkpath(out);
    const ToolRun extraction = run("cabextract", {"-q", "-d", out, cabinet});
    ASSERT_EQ(extraction.exitCode, 0) << extraction.output.toStdString();

    for (const SampleFolder::File& file : sample.files) {
        SCOPED_TRACE(file.name.toStdString());
        ASSERT_EQ(listed.count(file.name), 1u);
        EXPECT_EQ(listed[file.name].first, file.data.size());
        EXPECT_EQ(listed[file.name].second, dosRounded(file.modified));
        EXPECT_TRUE(readFile(QDir(out).filePath(file.name)) == file.data);
        EXPECT_EQ(modified(QDir(out).filePath(file.name)), dosRounded(file.modified));
    }

    // Our own listing gives the attributes the cabinet holds.
    for (const CabinetEntry& entry : listCabinet(cabinet)) {
        quint16 expected = layout::kArchive;
        if (entry.name == "Locked.dbf") expected |= layout::kReadOnly;
        if (entry.name == ".hidden.frf") expected |= layout::kHidden;
        EXPECT_EQ(entry.attributes, expected) << entry.name.toStdString();
    }
}

TEST_F(CabinetTest, ExtractsCabinetsMadeByGcabByteForByteWithDates) {
    // gcab stores dates in UTC; in a UTC zone they are also the local ones.
    setTimeZone("UTC0");
    const QString source = path("source");
    const SampleFolder sample(source);
    QStringList names;
    for (const SampleFolder::File& file : sample.files) names << file.name;
    const QString cabinet = path("gcab.cab");
    const ToolRun made = run("gcab", QStringList{"-c", "-z", cabinet} + names, source);
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();

    const QString out = path("extracted");
    const QStringList written = extractAll(cabinet, out);
    EXPECT_EQ(written.size(), qsizetype(sample.files.size()));
    for (const SampleFolder::File& file : sample.files) {
        SCOPED_TRACE(file.name.toStdString());
        EXPECT_TRUE(readFile(QDir(out).filePath(file.name)) == file.data);
        EXPECT_EQ(modified(QDir(out).filePath(file.name)), dosRounded(file.modified));
    }
    EXPECT_EQ(entriesOf(out).size(), qsizetype(sample.files.size()));  // no staging folder left
}

TEST_F(CabinetTest, AddsMatchingFilesOfTheFolderOnlyInListingOrder) {
    const QString folder = path("program");
    for (const char* name : {"Riviste3.DBF", "giacenza3.dbf", "Mixed.DbF", "Riviste3.MDX",
                             "notes.txt", "tasmerocfg.ini", "old.dbf.bak", "sub/Inner.dbf"}) {
        writeFile(QDir(folder).filePath(name), QByteArray(name));
    }
    QDir(folder).mkpath("folder.dbf");

    CabinetWriter writer;
    writer.create(path("backup.cab"));
    EXPECT_EQ(writer.addFiles(folder, "*.dbf"), 3);
    EXPECT_EQ(writer.addFiles(folder, "*.DBF"), 0);  // already in
    EXPECT_EQ(writer.addFiles(folder, "*.mdx"), 1);
    EXPECT_EQ(writer.addFiles(folder, "*.frf"), 0);
    writer.close();

    QStringList expected;
    for (const QString& name : listingOrder(folder)) {
        if (name.endsWith(".dbf", Qt::CaseInsensitive) && name != "folder.dbf") expected << name;
    }
    expected << "Riviste3.MDX";
    QStringList stored;
    for (const CabinetEntry& entry : listCabinet(path("backup.cab"))) {
        stored << entry.name;
        EXPECT_TRUE(entry.size == QFileInfo(QDir(folder).filePath(entry.name)).size());
    }
    EXPECT_EQ(stored, expected);
}

TEST_F(CabinetTest, ExtractionReplacesReadOnlyFilesAndAppliesStoredDateAndAttributes) {
    setTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    const QString target = path("program");
    writeFile(QDir(target).filePath("Riviste3.DBF"), "old and read-only");
    QFile::setPermissions(QDir(target).filePath("Riviste3.DBF"), QFileDevice::ReadOwner);
    writeFile(QDir(target).filePath("Report1.frf"), "old template");
    QFile::setPermissions(QDir(target).filePath("Report1.frf"), QFileDevice::ReadOwner);

    const quint16 date = (44 << 9) | (6 << 5) | 9;     // 2024-06-09
    const quint16 time = (17 << 11) | (45 << 5) | 10;  // 17:45:20
    writeFile(path("c.cab"), storedCabinet({{"Riviste3.DBF", "new table", 0x21, date, time},
                                            {"Report1.frf", "new template", 0x20, date, time}}));
    EXPECT_EQ(extractAll(path("c.cab"), target), (QStringList{"Riviste3.DBF", "Report1.frf"}));

    const QString table = QDir(target).filePath("Riviste3.DBF");
    const QString report = QDir(target).filePath("Report1.frf");
    EXPECT_EQ(readFile(table), "new table");
    EXPECT_EQ(readFile(report), "new template");
    EXPECT_FALSE(QFileInfo(table).permission(QFileDevice::WriteOwner));
    EXPECT_TRUE(QFileInfo(report).permission(QFileDevice::WriteOwner));
    EXPECT_EQ(modified(table), QDateTime(QDate(2024, 6, 9), QTime(17, 45, 20)));
    EXPECT_EQ(entriesOf(target), (QStringList{"Report1.frf", "Riviste3.DBF"}));
}

TEST_F(CabinetTest, ErrorsCarryLibraryAndSystemMessagesWithNumbers) {
    EXPECT_EQ(CabinetError("Could not create cabinet file", CabinetError::kCreateCabinet).message(),
              "Could not create cabinet file [0x0006]");
    EXPECT_EQ(CabinetError("Failure writing to target file", CabinetError::kTargetFile,
                           maintenance::SystemError{28, "No space left on device"})
                  .message(),
              "Failure writing to target file [0x0008].\nNo space left on device [0x001C].");

    try {
        listCabinet(path("missing.cab"));
        FAIL() << "no error";
    } catch (const CabinetError& error) {
        EXPECT_EQ(error.message(),
                  "Cabinet not found [0x0001].\n" + systemText(ENOENT) + " [0x0002].");
    }
    // A name the file system cannot hold: the library's write fails, and the
    // system's own number comes through.
    writeFile(path("long.cab"), storedCabinet({{QByteArray(256, 'n'), "data"}}));
    try {
        extractAll(path("long.cab"), path("long"));
        FAIL() << "no error";
    } catch (const CabinetError& error) {
        EXPECT_EQ(error.message(), "Failure writing to target file [0x0008].\n" +
                                       systemText(ENAMETOOLONG) + " [0x0024].");
    }
    EXPECT_TRUE(entriesOf(path("long")).isEmpty());

    try {
        CabinetWriter writer;
        writeFile(path("plain-file"), "x");
        writer.create(path("plain-file/backup.cab"));  // its folder cannot be made
        FAIL() << "no error";
    } catch (const CabinetError& error) {
        EXPECT_TRUE(error.message().startsWith("Could not create cabinet file [0x0006].\n"))
            << error.message().toStdString();
        EXPECT_TRUE(error.systemError().has_value());
    }
}

TEST_F(CabinetTest, ExtractionRefusesNamesThatLeaveTheFolderBeforeWritingAnything) {
    const QByteArray names[] = {"../evil", "..\\evil", "sub/evil", "sub\\evil",  "/etc/evil",
                                "\\evil",  "C:evil",   "C:\\evil", "c:/evil",    "..",
                                ".",       "",         "a\tb",     "//server/x", "\\\\server\\x"};
    for (const QByteArray& name : names) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir parent;
        const QString target = QDir(parent.path()).filePath("program");
        QDir().mkpath(target);
        const QString cabinet = QDir(parent.path()).filePath("hostile.cab");
        writeFile(cabinet, storedCabinet({{"good.dbf", "fine"}, {name, "payload"}}));
        try {
            extractAll(cabinet, target);
            ADD_FAILURE() << "extracted";
        } catch (const CabinetError& error) {
            EXPECT_EQ(error.code(), CabinetError::kCorrupt);
            EXPECT_TRUE(
                error.message().startsWith("Cabinet file name \"" + QString::fromUtf8(name)))
                << error.message().toStdString();
        }
        EXPECT_TRUE(entriesOf(target).isEmpty());
        EXPECT_EQ(entriesOf(parent.path()), (QStringList{"hostile.cab", "program"}));
    }

    // The same cabinet with a bare second name extracts.
    writeFile(path("fine.cab"), storedCabinet({{"good.dbf", "fine"}, {"..hidden.dbf", "ok"}}));
    EXPECT_EQ(extractAll(path("fine.cab"), path("program")).size(), 2);
}

TEST_F(CabinetTest, DamagedCabinetLeavesTheTargetFilesAsTheyWere) {
    const QString source = path("source");
    writeFile(QDir(source).filePath("a.dbf"), recordData(200000, 1));
    writeFile(QDir(source).filePath("b.dbf"), recordData(200000, 2));
    CabinetWriter writer;
    writer.create(path("good.cab"));
    writer.addFiles(source, "*.dbf");
    writer.close();
    const QByteArray good = readFile(path("good.cab"));

    QByteArray flipped = good;
    flipped[flipped.size() - 20] = char(flipped[flipped.size() - 20] ^ 0x55);  // last block
    const std::vector<std::pair<const char*, QByteArray>> damaged = {
        {"flipped byte in the last block", flipped},
        {"cut short", good.left(good.size() * 2 / 3)},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        const QString target = path(QString("target-%1").arg(QString::fromLatin1(what).size()));
        writeFile(QDir(target).filePath("a.dbf"), "current a");
        writeFile(QDir(target).filePath("b.dbf"), "current b");
        writeFile(path("bad.cab"), bytes);
        try {
            extractAll(path("bad.cab"), target);
            ADD_FAILURE() << "extracted";
        } catch (const CabinetError& error) {
            EXPECT_EQ(error.message(), "Cabinet file is corrupt [0x0004]");
        }
        EXPECT_EQ(readFile(QDir(target).filePath("a.dbf")), "current a");
        EXPECT_EQ(readFile(QDir(target).filePath("b.dbf")), "current b");
        EXPECT_EQ(entriesOf(target), (QStringList{"a.dbf", "b.dbf"}));
    }
}

TEST_F(CabinetTest, ReadBackCheckCatchesACabinetThatDiffersFromItsFiles) {
    const QString source = path("source");
    const QByteArray data = recordData(100000, 3);
    writeFile(QDir(source).filePath("a.dbf"), data, QDateTime(QDate(2024, 2, 2), QTime(2, 2, 2)));
    CabinetWriter writer;
    writer.create(path("c.cab"));
    writer.addFiles(source, "*.dbf");
    writer.close();
    const std::vector<CabinetEntry> entries = listCabinet(path("c.cab"));
    ASSERT_EQ(entries.size(), 1u);
    const maintenance::ExpectedFile expected{entries[0], data};
    EXPECT_NO_THROW(maintenance::verifyCabinet(path("c.cab"), {expected}));

    QByteArray other = data;
    other[5000] = 'x';
    QByteArray flipped = readFile(path("c.cab"));
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 1);
    writeFile(path("flipped.cab"), flipped);
    CabinetEntry renamed = entries[0];
    renamed.name = "b.dbf";
    const std::vector<std::pair<QString, maintenance::ExpectedFile>> cases = {
        {path("c.cab"), {entries[0], other}},
        {path("c.cab"), {renamed, data}},
        {path("flipped.cab"), expected},
    };
    for (const auto& [cabinet, file] : cases) {
        try {
            maintenance::verifyCabinet(cabinet, {file});
            ADD_FAILURE() << "accepted " << file.entry.name.toStdString();
        } catch (const CabinetError& error) {
            EXPECT_EQ(error.code(), CabinetError::kCompress);
            EXPECT_TRUE(error.message().startsWith("Cabinet written does not read back correctly"));
        }
    }
}

// Restores free-space reports to the system's own when a test ends.
struct FreeSpaceReport {
    explicit FreeSpaceReport(std::optional<qint64> bytes)
        : previous(maintenance::setFreeSpaceQuery([bytes](const QString&) { return bytes; })) {}
    ~FreeSpaceReport() { maintenance::setFreeSpaceQuery(previous); }
    maintenance::FreeSpaceQuery previous;
};

TEST_F(CabinetTest, HostileCabinetsAreRefusedBeforeAnythingIsWritten) {
    std::vector<RawFile> many;
    for (int i = 0; i < 65535; ++i) many.push_back({"f" + QByteArray::number(i) + ".dbf", "x"});
    struct Case {
        const char* what;
        QByteArray cabinet;
        std::optional<qint64> freeSpace;  // reported for the target; nullopt: unknown
        const char* error;                // start of the message
    };
    const Case cases[] = {
        // 64 folders over one 448 KB run of blocks: 28 MB declared.
        {"folders sharing their data blocks", sharedBlockCabinet(64, 448 * 1024), std::nullopt,
         "Cabinet file is corrupt [0x0004]"},
        {"two folders over the same block", sharedBlockCabinet(2, 100), std::nullopt,
         "Cabinet file is corrupt [0x0004]"},
        {"65,535 files", storedCabinet(many), std::nullopt,
         "Cabinet holds 65535 files, more than a program folder holds [0x0004]"},
        {"no files", storedCabinet({}), std::nullopt, "Cabinet holds no files [0x0004]"},
        {"more than the free space of the target",
         storedCabinet({{"a.dbf", recordData(300000, 1)}, {"b.mdx", recordData(300000, 2)}}),
         qint64(1) << 20, "Not enough free space to extract the cabinet [0x0008].\n"},
        {"the same name twice", storedCabinet({{"a.dbf", "one"}, {"A.DBF", "two"}}), std::nullopt,
         "Cabinet holds \"A.DBF\" twice [0x0004]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir parent;
        const QString target = QDir(parent.path()).filePath("program");
        writeFile(QDir(target).filePath("a.dbf"), "current a");
        const QString cabinet = QDir(parent.path()).filePath("hostile.cab");
        writeFile(cabinet, c.cabinet);
        FreeSpaceReport report(c.freeSpace);
        try {
            extractAll(cabinet, target);
            ADD_FAILURE() << "extracted";
        } catch (const CabinetError& error) {
            EXPECT_TRUE(error.message().startsWith(c.error)) << error.message().toStdString();
        }
        EXPECT_EQ(entriesOf(target), QStringList{"a.dbf"});
        EXPECT_EQ(readFile(QDir(target).filePath("a.dbf")), "current a");
        EXPECT_EQ(entriesOf(parent.path()), (QStringList{"hostile.cab", "program"}));
    }

    // With room to spare, or block by block in their own folders, they extract.
    {
        FreeSpaceReport report(qint64(64) << 20);
        writeFile(path("fits.cab"), storedCabinet({{"a.dbf", recordData(300000, 1)}}));
        EXPECT_EQ(extractAll(path("fits.cab"), path("out")), QStringList{"a.dbf"});
    }
    writeFile(path("one.cab"), sharedBlockCabinet(1, 100000));
    EXPECT_EQ(extractAll(path("one.cab"), path("out1")), QStringList{"f0.dbf"});
}

TEST_F(CabinetTest, DataChecksumsOfZeroMeanNotComputed) {
    const QByteArray data = recordData(100000, 9);
    writeFile(path("zero.cab"), storedCabinet({{"a.dbf", data}, {"b.frf", "template"}}, false));
    EXPECT_EQ(extractAll(path("zero.cab"), path("out")), (QStringList{"a.dbf", "b.frf"}));
    EXPECT_TRUE(readFile(path("out/a.dbf")) == data);

    // A checksum that is given is still checked.
    QByteArray wrong = storedCabinet({{"a.dbf", data}});
    const qsizetype firstBlock = wrong.indexOf(data.left(64)) - 8;
    wrong[firstBlock] = char(wrong[firstBlock] ^ 1);
    writeFile(path("wrong.cab"), wrong);
    EXPECT_THROW(extractAll(path("wrong.cab"), path("out2")), CabinetError);
    EXPECT_FALSE(QFileInfo::exists(path("out2/a.dbf")));
}

TEST_F(CabinetTest, FixturesBehaveAsDocumented) {
    struct Case {
        const char* file;
        std::map<QString, qint64> extracted;  // empty: refused
        const char* error = nullptr;
    };
    const Case cases[] = {
        {"normal_2files_1folder.cab", {{"hello.c", 77}, {"welcome.c", 74}}},
        {"test-none.cab", {{"test.sh", 9}, {"test.txt", 5}}},
        {"test-mszip.cab", {{"test.sh", 9}, {"test.txt", 5}}},
        {"test-signed.cab", {{"test.sh", 9}, {"test.txt", 5}}},
        {"dirwalk-vulns.cab",
         {},
         "Cabinet file name \"/absolute/path\" has a folder part [0x0004]"},
        {"bad_signature.cab", {}, "File is not a cabinet [0x0002]"},
        {"partial_shortfile1.cab", {}, "Cabinet file is corrupt [0x0004]"},
        {"cve-2010-2800-mszip-infinite-loop.cab", {}, "Cabinet file is corrupt [0x0004]"},
        {"cve-2015-4470-mszip-over-read.cab", {}, "Cabinet file is corrupt [0x0004]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        QTemporaryDir parent;
        const QString target = QDir(parent.path()).filePath("out");
        QDir().mkpath(target);
        try {
            const QStringList written = extractAll(fixture(c.file), target);
            EXPECT_EQ(c.error, nullptr) << "extracted";
            EXPECT_EQ(written.size(), qsizetype(c.extracted.size()));
        } catch (const CabinetError& error) {
            EXPECT_EQ(error.message().toStdString(), c.error ? c.error : "(no error)");
        }
        std::map<QString, qint64> found;
        for (const QString& name : entriesOf(target)) {
            found[name] = QFileInfo(QDir(target).filePath(name)).size();
        }
        EXPECT_EQ(found, c.extracted);
        EXPECT_EQ(entriesOf(parent.path()), QStringList{"out"});
    }
    const QByteArray hello = readFile(fixture("normal_2files_1folder.cab")).mid(0x66, 77);
    QTemporaryDir out;
    extractAll(fixture("normal_2files_1folder.cab"), out.path());
    EXPECT_EQ(readFile(QDir(out.path()).filePath("hello.c")), hello);
    EXPECT_TRUE(hello.startsWith("#include <stdio.h>"));
}

}  // namespace

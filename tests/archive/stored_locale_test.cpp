// The bytes the program stores never depend on the process locale. Qt sets the
// C library's locale from the environment at start, so a shop running under
// it_IT would otherwise get "3,50" inside numeric fields, which no dBASE
// reader accepts and which our own reader took for zero.
#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "archive/dbase/table.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>
#include <locale>
#include <map>

namespace {

// Switches both the C and the C++ global locale for one scope, as the
// environment does for the whole program.
class ProcessLocale {
  public:
    explicit ProcessLocale(const char* name) : before_(std::setlocale(LC_ALL, nullptr)) {
        available_ = std::setlocale(LC_ALL, name) != nullptr;
        if (available_) std::locale::global(std::locale(name));
    }
    ~ProcessLocale() {
        std::setlocale(LC_ALL, before_.c_str());
        std::locale::global(std::locale::classic());
    }
    bool available() const { return available_; }

  private:
    std::string before_;
    bool available_ = false;
};

// Every numeric and date field shape of the three tables, with values that
// cover signs, rounding, the widest digits and empty fields.
struct Row {
    const char* key;
    double price;
    double cost;
    double quantity;
    QDate date;
};
const Row kRows[] = {
    {"977111111100100042", 3.5, 2.45, 10, QDate(2026, 12, 10)},
    {"977111111100112", 1234567.89, 0.123456, -3, QDate(1999, 1, 31)},
    {"9771111111001", 0.005, 1.0000005, 999999999, QDate(2000, 2, 29)},
    {"12345670", -0.004, -12.5, 0, QDate()},
};

// Writes the rows through the data module's cursors and returns every file
// of the archive, byte for byte, and the values read back.
struct Written {
    std::map<QString, QByteArray> files;
    std::vector<std::vector<double>> numbers;
    std::vector<QDate> dates;
};

Written writeArchive() {
    QTemporaryDir dir;
    EXPECT_TRUE(dir.isValid());
    archive::createMissingTables(dir.path());
    Written w;
    {
        TData1 data(dir.path());
        data.openTables();
        for (const Row& r : kRows) {
            const QString key = QString::fromLatin1(r.key);
            data.Riviste.append();
            data.Riviste.setText(QStringLiteral("BARCODE"), key.left(13));
            data.Riviste.setNumber(QStringLiteral("PREZZO"), r.price);
            data.Riviste.setNumber(QStringLiteral("ACQUISTO"), r.cost);
            data.Riviste.post();
            data.Giacenza.append();
            data.Giacenza.setText(QStringLiteral("BARCODE2"), key);
            data.Giacenza.setNumber(QStringLiteral("GIACENZA"), r.quantity);
            data.Giacenza.setNumber(QStringLiteral("PREZZO"), r.price);
            data.Giacenza.setNumber(QStringLiteral("ACQUISTO"), r.cost);
            data.Giacenza.setDate(QStringLiteral("UCARICO"), r.date);
            data.Giacenza.setDate(QStringLiteral("SCADENZA"), r.date.addDays(30));
            data.Giacenza.post();
            data.Giornale.append();
            data.Giornale.setText(QStringLiteral("BARCODE2"), key);
            data.Giornale.setDate(QStringLiteral("DATA"), r.date);
            data.Giornale.setNumber(QStringLiteral("QUANTITA"), r.quantity);
            data.Giornale.setNumber(QStringLiteral("PREZZO"), r.price);
            data.Giornale.setNumber(QStringLiteral("ACQUISTO"), r.cost);
            data.Giornale.setText(QStringLiteral("TIPO"), QStringLiteral("C"));
            data.Giornale.post();
        }
        for (dbase::Cursor* c : {&data.Giacenza, &data.Giornale}) {
            for (c->first(); !c->eof(); c->next()) {
                w.numbers.push_back({c->number(QStringLiteral("PREZZO")),
                                     c->number(QStringLiteral("ACQUISTO"))});
            }
        }
        for (data.Giornale.first(); !data.Giornale.eof(); data.Giornale.next())
            w.dates.push_back(data.Giornale.date(QStringLiteral("DATA")));
        data.closeTables();
    }
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        w.files[name] = f.readAll();
    }
    return w;
}

TEST(StoredLocale, ArchiveBytesAreTheSameUnderEveryProcessLocale) {
    const Written reference = writeArchive();
    ASSERT_EQ(reference.files.size(), 6u);
    // The stored forms the other dBASE tools expect, checked once in C.
    const QByteArray& riviste = reference.files.at(QStringLiteral("Riviste3.DBF"));
    EXPECT_TRUE(riviste.contains("      3.50"));
    EXPECT_TRUE(riviste.contains("  2.450000"));
    EXPECT_TRUE(riviste.contains("1234567.89"));
    EXPECT_TRUE(riviste.contains("      0.01"));  // 0.005 rounds away from zero
    EXPECT_FALSE(riviste.contains("-0.00"));  // -0.004 is stored as zero

    for (const char* name : {"it_IT.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "C"}) {
        SCOPED_TRACE(name);
        ProcessLocale locale(name);
        if (!locale.available()) {
            ADD_FAILURE() << "locale " << name << " is not installed (tools/install-deps.sh makes it)";
            continue;
        }
        const Written w = writeArchive();
        for (const auto& [file, bytes] : reference.files)
            EXPECT_EQ(w.files.at(file), bytes) << file.toStdString();
        EXPECT_EQ(w.numbers, reference.numbers);
        EXPECT_EQ(w.dates, reference.dates);
    }
}

// A table written under a comma locale by another tool (or by an early build
// of ours) reads as the numbers it means, and a record written back is stored
// with a decimal point.
TEST(StoredLocale, DecimalCommaReadsAsItsNumberAndIsRewrittenWithAPoint) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    archive::createMissingTables(dir.path());
    const QString path = archive::tablePath(dir.path(), archive::riviste3());
    {
        TData1 data(dir.path());
        data.openTables();
        data.Riviste.append();
        data.Riviste.setText(QStringLiteral("BARCODE"), QStringLiteral("9771111111001"));
        data.Riviste.setText(QStringLiteral("NOME"), QStringLiteral("Zeta Moto"));
        data.Riviste.setNumber(QStringLiteral("PREZZO"), 3.5);
        data.Riviste.setNumber(QStringLiteral("ACQUISTO"), 2.45);
        data.Riviste.post();
        data.closeTables();
    }
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const qsizetype price = bytes.indexOf("      3.50");
        const qsizetype cost = bytes.indexOf("  2.450000");
        ASSERT_GT(price, 0);
        ASSERT_GT(cost, 0);
        bytes[price + 7] = ',';
        bytes[cost + 3] = ',';
        f.seek(0);
        f.write(bytes);
    }
    TData1 data(dir.path());
    data.openTables();
    data.Riviste.first();
    EXPECT_EQ(data.Riviste.number(QStringLiteral("PREZZO")), 3.5);
    EXPECT_EQ(data.Riviste.number(QStringLiteral("ACQUISTO")), 2.45);
    data.Riviste.edit();
    data.Riviste.setText(QStringLiteral("NOME"), QStringLiteral("Zeta Moto Oggi"));
    data.Riviste.post();
    data.closeTables();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.contains("      3.50"));
    EXPECT_TRUE(bytes.contains("  2.450000"));
    EXPECT_FALSE(bytes.contains(','));
}

}  // namespace

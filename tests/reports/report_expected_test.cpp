// The five shipped templates over one small shop made here, checked against
// what a reader of each output sees: the text export line by line against
// tests/reports/expected/*.txt, the labels through a barcode reader, the RTF
// export through a word processor.
//
// When a template changes on purpose, write the expected texts afresh and
// review them with `git diff tests/reports/expected`:
//
//     TASMERO_UPDATE_EXPECTED=1 build/test/tests/reports/report_expected_test
#include "support/report_test_support.h"

#include "reports/report_engine.h"
#include "reports/report_exports.h"
#include "reports/template_file.h"

#include "support/counter_archive.h"
#include "platform/dates.h"
#include "platform/program_locale.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <algorithm>
#include <map>

using namespace reports;

namespace {

using test::run;
using test::runTool;
using test::ToolRun;
using test::templatePath;

// Where an item stands on the sheet, in millimetres.
QRectF millimetres(const Item& i) {
    return QRectF(i.x / kUnitsPerMm, i.y / kUnitsPerMm, i.w / kUnitsPerMm, i.h / kUnitsPerMm);
}

// The words of a PDF's first page with their boxes in millimetres, as pdftotext finds them.
struct Word {
    QRectF box;
    QString text;
};
std::vector<Word> pdfWords(const QString& pdf) {
    const QString html = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), pdf,
                                                           QStringLiteral("-")});
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    std::vector<Word> words;
    const double mm = 25.4 / 72;  // pdftotext measures in points
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.push_back({QRectF(QPointF(m.captured(1).toDouble() * mm, m.captured(2).toDouble() * mm),
                                QPointF(m.captured(3).toDouble() * mm, m.captured(4).toDouble() * mm)),
                         m.captured(5).replace(QStringLiteral("&apos;"), QStringLiteral("'"))});
    }
    return words;
}

// The words whose middle lies in `box`, line by line or, for the digits of
// a barcode (the add-on's stand above its bars), left to right.
enum class Order { Lines, LeftToRight };
QStringList wordsIn(const std::vector<Word>& words, const QRectF& box, Order order) {
    std::vector<const Word*> inside;
    for (const Word& w : words)
        if (box.contains(w.box.center())) inside.push_back(&w);
    std::stable_sort(inside.begin(), inside.end(), [order](const Word* a, const Word* b) {
        if (order == Order::Lines && std::abs(a->box.bottom() - b->box.bottom()) > 1) return a->box.bottom() < b->box.bottom();
        return a->box.left() < b->box.left();
    });
    QStringList texts;
    for (const Word* w : inside) texts << w->text;
    return texts;
}

// What zbarimg decodes in each image, by image. zbar (0.23.92 in Debian 12)
// joins an EAN-13 and its add-on into one composite code, the key with its
// add-on, only with composite results enabled (they are off by default) and
// only in an image that holds one EAN and one add-on; on a whole sheet it
// reports main symbols and add-ons apart. Hence one image per label.
std::map<QString, QStringList> scan(const QStringList& images) {
    const ToolRun zbar = runTool(QStringLiteral("zbarimg"), QStringList{QStringLiteral("--nodbus"), QStringLiteral("--xml"),
                                                                         QStringLiteral("-Scomposite.enable"), QStringLiteral("-Sean2.enable"),
                                                                         QStringLiteral("-Sean5.enable")} + images);
    EXPECT_TRUE(zbar.finished) << zbar.err.toStdString();
    std::map<QString, QStringList> found;
    QXmlStreamReader xml(zbar.out);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("source")) source = xml.attributes().value(QStringLiteral("href")).toString();
        else if (xml.name() == QLatin1String("data")) found[source] << xml.readElementText();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << "\n" << zbar.out.toStdString();
    return found;
}

// Two suppliers, four magazines, six issues in stock: issue keys of every
// length a label carries (EAN-13 with a 5- and a 2-digit add-on, plain
// EAN-13, EAN-8). Every issue is past its return-by date and still has
// copies, so the expired list shows all of them whatever date it is checked
// against. The journal spans two days and more lines than a page holds.
class SmallShop : public ::testing::Test {
  protected:
    static constexpr const char* kGazzetta = "9771234567003";
    static constexpr const char* kMensile = "9778765432107";
    static constexpr const char* kSettimanale = "9772468135792";
    static constexpr const char* kCorto = "96385074";

    void SetUp() override {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        platform::setToday(QDate(2026, 3, 31));
        const QString gazzetta = QLatin1String(kGazzetta), mensile = QLatin1String(kMensile),
                      settimanale = QLatin1String(kSettimanale), corto = QLatin1String(kCorto);
        archive.addMagazine({gazzetta, QStringLiteral("Gazzetta Locale"), 1.5, 1.2, QStringLiteral("Q"), QStringLiteral("001")});
        archive.addMagazine({mensile, QStringLiteral("Mensile Illustrato"), 4.9, 3.5, QStringLiteral("M"), QStringLiteral("002")});
        archive.addMagazine({settimanale, QStringLiteral("IL SETTIMANALE DELL'ORTO OGGI"), 2.8, 2.1, QStringLiteral("S"), QStringLiteral("001")});
        archive.addMagazine({corto, QStringLiteral("Corto Enigmi"), 2, 1.4, QStringLiteral("S"), QStringLiteral("002")});

        const auto stock = [this](const counter_test::Stock& s, const char* name) {
            archive.addStock(s);
            issues[s.key] = QString::fromUtf8(name);
        };
        stock({gazzetta + QStringLiteral("00012"), 5, 1.5, 1.2, QDate(2026, 2, 12), QDate(2026, 2, 14)}, "Gazzetta Locale");
        stock({gazzetta + QStringLiteral("00013"), 12, 1.5, 1.2, QDate(2026, 2, 13), QDate(2026, 2, 15)}, "Gazzetta Locale");
        stock({mensile + QStringLiteral("02"), 2, 4.9, 3.5, QDate(2026, 1, 20), QDate(2026, 2, 28)}, "Mensile Illustrato");
        stock({mensile + QStringLiteral("03"), 7, 5.2, 3.7, QDate(2026, 2, 20), QDate(2026, 3, 20)}, "Mensile Illustrato");
        stock({settimanale, 3, 2.8, 2.1, QDate(2026, 2, 2), QDate(2026, 2, 9)}, "IL SETTIMANALE DELL'ORTO OGGI");
        stock({corto, 4, 2, 1.4, QDate(2026, 1, 3), QDate(2026, 2, 3)}, "Corto Enigmi");

        // 01/03: 30 single sales of the Gazzetta between two deliveries.
        archive.addMovement({gazzetta + QStringLiteral("00012"), QDate(2026, 3, 1), 40, 1.5, 1.2, QStringLiteral("C")});
        archive.addMovement({mensile + QStringLiteral("03"), QDate(2026, 3, 1), 10, 5.2, 3.7, QStringLiteral("C")});
        for (int i = 0; i < 30; ++i)
            archive.addMovement({gazzetta + QStringLiteral("00012"), QDate(2026, 3, 1), -1, 1.5, 1.2, QStringLiteral("S")});
        archive.addMovement({mensile + QStringLiteral("03"), QDate(2026, 3, 1), -2, 5.2, 3.7, QStringLiteral("S")});
        // 02/03: more sales, and the returns of the expired issues.
        for (int i = 0; i < 20; ++i)
            archive.addMovement({gazzetta + QStringLiteral("00013"), QDate(2026, 3, 2), -1, 1.5, 1.2, QStringLiteral("S")});
        archive.addMovement({corto, QDate(2026, 3, 2), -1, 2, 1.4, QStringLiteral("S")});
        archive.addMovement({gazzetta + QStringLiteral("00012"), QDate(2026, 3, 2), -5, 1.5, 1.2, QStringLiteral("R")});
        archive.addMovement({settimanale, QDate(2026, 3, 2), -3, 2.8, 2.1, QStringLiteral("R")});
        archive.addMovement({mensile + QStringLiteral("02"), QDate(2026, 3, 2), -2, 4.9, 3.5, QStringLiteral("R")});
        archive.addMovement({corto, QDate(2026, 3, 2), -4, 2, 1.4, QStringLiteral("R")});

        for (sql::Query* q : {&archive.data().Stampa1, &archive.data().Stampa2, &archive.data().Stampa3}) q->open();
    }
    void TearDown() override {
        platform::setToday({});
        platform::setProgramLocale(QLocale::system());
    }

    PreparedReport prepare(const QString& name) {
        return prepareReport(loadTemplate(templatePath(name.toLatin1().constData())), dataModuleDatasets(archive.data()));
    }

    // Compares with the expected file, or writes it when asked to.
    static void expectText(const QString& name, const QString& actual) {
        const QString expected = QStringLiteral(TASMERO_EXPECTED "/") + name;
        if (!qEnvironmentVariableIsEmpty("TASMERO_UPDATE_EXPECTED")) {
            QDir().mkpath(QStringLiteral(TASMERO_EXPECTED));
            QFile f(expected);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(actual.toUtf8()) >= 0) << expected.toStdString();
            return;
        }
        QFile f(expected);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << expected.toStdString()
                                                 << " is missing: run the test with TASMERO_UPDATE_EXPECTED=1 to write it";
        if (QString::fromUtf8(f.readAll()) == actual) return;
        QTemporaryDir dir;
        QFile out(dir.filePath(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(actual.toUtf8());
        out.close();
        ADD_FAILURE() << name.toStdString() << " differs from what the template gives (- expected, + now; "
                      << "TASMERO_UPDATE_EXPECTED=1 rewrites it if the change is meant):\n"
                      << run(QStringLiteral("diff"), {QStringLiteral("-u"), expected, out.fileName()}).toStdString();
    }

    // Issue key -> the magazine's name, as its label shows them.
    std::map<QString, QString> issues;

    counter_test::CounterArchive archive;
};

}  // namespace

// The text export of each template, line by line as expected.
TEST_F(SmallShop, EveryTemplateGivesItsExpectedText) {
    for (int n = 1; n <= 5; ++n) {
        const QString name = QStringLiteral("Report%1").arg(n);
        SCOPED_TRACE(name.toStdString());
        expectText(name + QStringLiteral(".txt"), textExport(prepare(name + QStringLiteral(".frf"))));
    }
}

// What a scanner reads off each printed label is the issue key printed under
// its bars, on the label of that issue. The sheet goes through the PDF, as
// it goes to a printer, and is rasterised at the resolutions of label and
// office printers; each label is read on its own, as a scanner sees it.
TEST_F(SmallShop, EveryLabelScansAsTheKeyPrintedOnIt) {
    const PreparedReport pages = prepare(QStringLiteral("Report5.frf"));
    ASSERT_EQ(pages.pageCount(), 1);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("etichette.pdf"));
    exportPdf(pages, pdf);
    const std::vector<Word> words = pdfWords(pdf);

    std::vector<const Item*> labels;
    for (const Item& i : pages.pages[0].items)
        if (i.kind == ItemKind::Barcode) labels.push_back(&i);
    ASSERT_EQ(labels.size(), issues.size());

    for (int dpi : {203, 300}) {
        SCOPED_TRACE(dpi);
        const QString raster = dir.filePath(QStringLiteral("foglio%1").arg(dpi));
        ASSERT_TRUE(runTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                                                         QStringLiteral("-aaVector"), QStringLiteral("no"), QStringLiteral("-png"),
                                                         QStringLiteral("-singlefile"), pdf, raster})
                        .finished);
        const QImage sheet(raster + QStringLiteral(".png"));
        ASSERT_FALSE(sheet.isNull());
        QStringList crops;
        for (size_t l = 0; l < labels.size(); ++l) {
            const QRectF mm = millimetres(*labels[l]).adjusted(-2, -2, 2, 2);
            const double k = dpi / 25.4;
            crops << dir.filePath(QStringLiteral("etichetta%1-%2.png").arg(dpi).arg(l));
            ASSERT_TRUE(sheet.copy(QRectF(mm.topLeft() * k, mm.size() * k).toRect()).save(crops.back()));
        }
        const std::map<QString, QStringList> decoded = scan(crops);
        for (size_t l = 0; l < labels.size(); ++l) {
            const QString key = pages.text(0, *labels[l]);
            SCOPED_TRACE(key.toStdString());
            ASSERT_TRUE(issues.count(key));
            const QRectF box = millimetres(*labels[l]);
            // Under the bars: the key's digits; above them, the issue's name and number.
            EXPECT_EQ(wordsIn(words, box, Order::LeftToRight).join(QString()), key);
            const QString label = wordsIn(words, box.adjusted(-1, -10, 1, -box.height()), Order::Lines).join(u' ');
            EXPECT_TRUE(label.startsWith(issues.at(key))) << label.toStdString();
            const QString number = key.mid(13);
            EXPECT_EQ(label.contains(QStringLiteral("N. ") + number), !number.isEmpty()) << label.toStdString();
            EXPECT_EQ(decoded.count(crops[qsizetype(l)]) ? decoded.at(crops[qsizetype(l)]) : QStringList(), QStringList{key});
        }
    }
}

// A sheet holds 3 × 8 labels: the 25th starts a second sheet.
TEST_F(SmallShop, LabelSheetHoldsTwentyFourLabels) {
    for (int i = 0; i < 18; ++i)
        archive.addStock({QStringLiteral("97712345670031%1").arg(i, 4, 10, QLatin1Char('0')), 1, 1.5, 1.2, QDate(2026, 3, 1), QDate(2026, 3, 2)});
    EXPECT_EQ(prepare(QStringLiteral("Report5.frf")).pageCount(), 1);
    archive.addStock({QStringLiteral("977123456700319999"), 1, 1.5, 1.2, QDate(2026, 3, 1), QDate(2026, 3, 2)});
    const PreparedReport pages = prepare(QStringLiteral("Report5.frf"));
    ASSERT_EQ(pages.pageCount(), 2);
    EXPECT_EQ(std::count_if(pages.pages[1].items.begin(), pages.pages[1].items.end(),
                            [](const Item& i) { return i.kind == ItemKind::Barcode; }),
              1);
}

// A word processor opens the RTF exports of the stock list (a wrapped name)
// and of the journal (two pages, groups, totals in bold and italics) and
// shows the words of the text export, in the same order and on as many pages.
TEST_F(SmallShop, RtfExportOpensInLibreOfficeWithTheWordsOfTheList) {
    QTemporaryDir dir;
    std::map<QString, PreparedReport> lists;
    QStringList files;
    for (const char* name : {"Report1", "Report2"}) {
        const QString list = QLatin1String(name);
        lists.emplace(list, prepare(list + QStringLiteral(".frf")));
        files << dir.filePath(list + QStringLiteral(".rtf"));
        exportRtf(lists.at(list), files.back());
    }
    ASSERT_EQ(lists.at(QStringLiteral("Report2")).pageCount(), 2);
    // One start of the word processor for both: it is the slow part.
    const ToolRun office = runTool(QStringLiteral("soffice"),
                                   QStringList{QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profilo")),
                                               QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                               QStringLiteral("--convert-to"), QStringLiteral("pdf"), QStringLiteral("--outdir"),
                                               dir.path()} + files,
                                   180000);
    ASSERT_TRUE(office.finished) << "soffice (Debian's libreoffice-writer-nogui, installed by tools/install-deps.sh) did not run: "
                                 << office.err.toStdString();
    const auto wordsOf = [](const QString& text) { return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts); };
    for (const auto& [list, pages] : lists) {
        SCOPED_TRACE(list.toStdString());
        const QString pdf = dir.filePath(list + QStringLiteral(".pdf"));
        ASSERT_TRUE(QFile::exists(pdf)) << office.out.toStdString() << office.err.toStdString();
        const QString shown = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        const QStringList shownPages = shown.split(u'\f', Qt::SkipEmptyParts), printedPages = textExport(pages).split(u'\f');
        ASSERT_EQ(shownPages.size(), printedPages.size()) << shown.toStdString();
        for (qsizetype p = 0; p < shownPages.size(); ++p) EXPECT_EQ(wordsOf(shownPages[p]), wordsOf(printedPages[p])) << "page " << p + 1;
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "support/report_test_support.h"

#include "reports/report_engine.h"
#include "reports/report_exports.h"
#include "reports/template_file.h"

#include "support/counter_archive.h"
#include "platform/dates.h"
#include "platform/program_locale.h"

#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace reports;

namespace {

using test::templatePath;

using test::run;

class ItalianShop : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        platform::setToday(QDate(2026, 3, 31));
    }
    void TearDown() override {
        platform::setToday({});
        platform::setProgramLocale(QLocale::system());
    }
};

}  // namespace

TEST(ReportTemplates, EveryShippedTemplateLoadsAndSurvivesSaveAndLoad) {
    for (const char* name : {"Report1.frf", "Report2.frf", "Report3.frf", "Report4.frf", "Report5.frf"}) {
        SCOPED_TRACE(name);
        const Report report = loadTemplate(templatePath(name));
        ASSERT_NE(report.masterData(), nullptr);
        EXPECT_EQ(parseTemplate(serializeTemplate(report), QStringLiteral("copy")), report);
    }
}

TEST(ReportTemplates, BrokenTemplatesNameFileLineAndFault) {
    const struct {
        const char* xml;
        const char* expected;
    } cases[] = {
        {"<tasmero-report version=\"1\">\n<band kind=\"master-data\" height=\"5\" dataset=\"Stampa1\">\n<picture/>\n</band>\n</tasmero-report>",
         "broken.frf, line 3: unknown element <picture>"},
        {"<tasmero-report version=\"1\">\n<band kind=\"master-data\" dataset=\"Stampa1\"/>\n</tasmero-report>",
         "broken.frf, line 2: <band> lacks the attribute 'height'"},
        {"<tasmero-report version=\"1\">\n\n<band kind=\"page-header\" height=\"5,5\"/>\n</tasmero-report>",
         "broken.frf, line 3: 'height' of <band> is not a number: \"5,5\""},
        {"<tasmero-report version=\"2\">\n</tasmero-report>",
         "broken.frf, line 1: version 2 is newer than this program reads (1)"},
        {"<tasmero-report version=\"1\">\n<band kind=\"page-header\" height=\"5\" colour=\"red\"/>\n</tasmero-report>",
         "broken.frf, line 2: unknown attribute 'colour' on <band>"},
        {"<tasmero-report version=\"1\">\n<band kind=\"master-data\" height=\"5\" dataset=\"Stampa1\"/>\n"
         "<band kind=\"group-footer\" height=\"5\" group=\"1\"/>\n</tasmero-report>",
         "broken.frf, line 3: group-footer of group 1 has no group-header"},
        {"<tasmero-report version=\"1\">\n<band kind=\"page-header\" height=\"5\">\n<text x=\"0\" y=\"0\" width=\"5\" height=\"5\">a</tex>",
         "broken.frf, line 3:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        try {
            parseTemplate(QByteArray(c.xml), QStringLiteral("broken.frf"));
            ADD_FAILURE() << "accepted";
        } catch (const TemplateError& e) {
            EXPECT_TRUE(e.message().startsWith(QString::fromUtf8(c.expected))) << e.message().toStdString();
        }
    }
}

TEST_F(ItalianShop, MovementJournalTotalsPerTypeAndDateAcrossPages) {
    counter_test::CounterArchive archive;
    archive.addMagazine({QStringLiteral("9771234567003"), QStringLiteral("Gazzetta Locale"), 1.5, 1.2, QStringLiteral("Q"), QStringLiteral("001")});
    const QString key = QStringLiteral("977123456700312345");
    archive.addStock({key, 10, 1.5, 1.2, QDate(2026, 3, 1), QDate(2026, 3, 2)});
    // 60 stock-ins and 60 sales on one day: more lines than one page holds.
    for (int i = 0; i < 60; ++i) archive.addMovement({key, QDate(2026, 3, 1), 2, 1.5, 1.2, QStringLiteral("C")});
    for (int i = 0; i < 60; ++i) archive.addMovement({key, QDate(2026, 3, 1), -1, 1.5, 1.2, QStringLiteral("S")});
    archive.addMovement({key, QDate(2026, 3, 2), -3, 1.5, 1.2, QStringLiteral("R")});
    archive.data().Stampa2.open();

    const Report report = loadTemplate(templatePath("Report2.frf"));
    const PreparedReport pages = prepareReport(report, dataModuleDatasets(archive.data()), PrepareOptions{QStringLiteral("Movimenti"), {}});
    ASSERT_EQ(pages.pageCount(), 3);
    const QString text = textExport(pages);
    EXPECT_TRUE(text.contains(QStringLiteral("Pagina 1 di 3"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Pagina 3 di 3")));
    // Per type: 60 stock-ins of 2 copies at 1,50; 60 sales of one copy.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Totale Carico +120 +180,00 +144,00"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Totale Scarico +-60 +-90,00 +-72,00"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Totale del 01/03/2026 +60 +90,00 +72,00"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Rese +-3 +-4,50"))));
    EXPECT_TRUE(text.contains(QStringLiteral("Movimenti: 121")));
    EXPECT_EQ(text.count(u'\f'), 2);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("movimenti.pdf"));
    exportPdf(pages, pdf);
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +3")))) << info.toStdString();
    const QString words = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(words.contains(QStringLiteral("Gazzetta Locale")));
    EXPECT_TRUE(words.contains(QStringLiteral("Pagina 2 di 3")));
    EXPECT_TRUE(words.contains(QStringLiteral("180,00")));
}

// A key that makes no EAN symbol (here a wrong check digit) never leaves its
// label blank: the key prints as text where the bars would be.
TEST_F(ItalianShop, LabelWithoutAValidSymbolShowsItsKeyAsText) {
    counter_test::CounterArchive archive;
    const QString wrong = QStringLiteral("977876543210904");  // 9778765432107 is the valid EAN-13
    archive.addMagazine({wrong.left(13), QStringLiteral("Mensile Illustrato"), 4.9, 3.5, QStringLiteral("M"), QStringLiteral("002")});
    archive.addStock({wrong, 3, 4.9, 3.5, QDate(2026, 3, 1), QDate(2026, 3, 2)});
    const PreparedReport pages = prepareReport(loadTemplate(templatePath("Report5.frf")), dataModuleDatasets(archive.data()));
    ASSERT_EQ(pages.pageCount(), 1);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("etichette.pdf"));
    exportPdf(pages, pdf);
    EXPECT_TRUE(run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).contains(wrong));
    const QString png = dir.filePath(QStringLiteral("etichette"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-gray"), QStringLiteral("-png"),
                                     QStringLiteral("-singlefile"), pdf, png});
    ASSERT_TRUE(QFile::exists(png + QStringLiteral(".png")));
    EXPECT_EQ(run(QStringLiteral("zbarimg"), {QStringLiteral("--nodbus"), QStringLiteral("-q"), QStringLiteral("-Senable"),
                                               png + QStringLiteral(".png")}),
              QString());
}

int main(int argc, char** argv) {
    // The engine draws into images and files only; no display is needed, not even to list the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

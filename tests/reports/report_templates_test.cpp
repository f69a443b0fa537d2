// The stock list, the expired issues and the returns list rendered over a
// small archive: what the text export and the PDF show.
#include "support/report_test_support.h"

#include "reports/report_engine.h"
#include "reports/report_exports.h"
#include "reports/template_file.h"

#include "support/counter_archive.h"
#include "platform/dates.h"
#include "platform/program_locale.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace reports;

namespace {

using test::run;
using test::templatePath;

QString pdfWords(const PreparedReport& pages, QString* info) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("lista.pdf"));
    exportPdf(pages, pdf);
    *info = run(QStringLiteral("pdfinfo"), {pdf});
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

bool hasLine(const QString& text, const QString& pattern) {
    return text.contains(QRegularExpression(QStringLiteral("(^|\\n)") + pattern + QStringLiteral("\\s*(\\n|$)")));
}

// Three magazines of two suppliers, one issue of each in stock: one past its
// return-by date, one due today (31/03/2026), one due next month.
class ShopArchive : public ::testing::Test {
  protected:
    const QString gazzetta = QStringLiteral("977123456700300012");
    const QString mensile = QStringLiteral("977876543210900003");
    const QString corto = QStringLiteral("977555555555500007");

    void SetUp() override {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        platform::setToday(QDate(2026, 3, 31));
        archive.addMagazine({gazzetta.left(13), QStringLiteral("Gazzetta Locale"), 1.5, 1.2, QStringLiteral("Q"), QStringLiteral("001")});
        archive.addMagazine({mensile.left(13), QStringLiteral("Mensile Illustrato"), 4.9, 3.5, QStringLiteral("M"), QStringLiteral("002")});
        archive.addMagazine({corto.left(13), QStringLiteral("Corto Enigmi"), 2, 1, QStringLiteral("S"), QStringLiteral("002")});
        archive.addStock({gazzetta, 5, 1.5, 1.2, QDate(2026, 3, 1), QDate(2026, 3, 10)});
        archive.addStock({mensile, 2, 4.9, 3.5, QDate(2026, 3, 20), QDate(2026, 4, 30)});
        archive.addStock({corto, 4, 2, 1, QDate(2026, 3, 3), QDate(2026, 3, 31)});
    }
    void TearDown() override {
        platform::setToday({});
        platform::setProgramLocale(QLocale::system());
    }

    PreparedReport prepare(const char* name, sql::Query& dataset) {
        dataset.open();
        return prepareReport(loadTemplate(templatePath(name)), dataModuleDatasets(archive.data()));
    }

    counter_test::CounterArchive archive;
};

}  // namespace

TEST_F(ShopArchive, StockListShowsEveryIssueWithValueTotals) {
    const PreparedReport pages = prepare("Report1.frf", archive.data().Stampa1);
    ASSERT_EQ(pages.pageCount(), 1);
    const QString text = textExport(pages);
    // By magazine name: Corto, Gazzetta, Mensile.
    const qsizetype c = text.indexOf(QStringLiteral("Corto Enigmi")), g = text.indexOf(QStringLiteral("Gazzetta Locale")),
                    m = text.indexOf(QStringLiteral("Mensile Illustrato"));
    EXPECT_TRUE(c >= 0 && c < g && g < m) << text.toStdString();
    EXPECT_TRUE(hasLine(text, QStringLiteral("Gazzetta Locale +00012 +1,50 +1,20 +01/03/2026 +5 +10/03/2026 +7,50 +6,00"))) << text.toStdString();
    EXPECT_TRUE(hasLine(text, QStringLiteral("Mensile Illustrato +00003 +4,90 +3,50 +20/03/2026 +2 +30/04/2026 +9,80 +7,00")));
    // Copies, 5 × 1,50 + 2 × 4,90 + 4 × 2,00 and 5 × 1,20 + 2 × 3,50 + 4 × 1,00 under their columns.
    EXPECT_TRUE(hasLine(text, QStringLiteral("Totale: 3 numeri +11 +25,30 +17,00")));
    EXPECT_TRUE(hasLine(text, QStringLiteral(" +Pagina 1 di 1")));

    QString info;
    const QString words = pdfWords(pages, &info);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +1")))) << info.toStdString();
    for (const char* w : {"Riviste e giacenze", "Mensile Illustrato", "30/04/2026", "25,30", "17,00", "Pagina 1 di 1"})
        EXPECT_TRUE(words.contains(QString::fromUtf8(w))) << w << "\n" << words.toStdString();
}

TEST_F(ShopArchive, ExpiredListShowsOnlyIssuesDueByTodayStillInStock) {
    // Sold out and past its date: nothing to pull from the shelf.
    const QString soldOut = QStringLiteral("977123456700300011");
    archive.addStock({soldOut, 0, 1.5, 1.2, QDate(2026, 2, 1), QDate(2026, 2, 10)});
    // The dataset's filter picks them, as the selection window's "Scaduti"
    // page leaves it: no check date, so today's.
    archive::PrintSelection expired;
    expired.page = archive::PrintSelection::Page::Scaduti;
    archive.data().printSelection = [expired] { return std::optional(expired); };
    const PreparedReport pages = prepare("Report3.frf", archive.data().Stampa1);
    ASSERT_EQ(pages.pageCount(), 1);
    const QString text = textExport(pages);
    EXPECT_TRUE(hasLine(text, QStringLiteral("Gazzetta Locale +00012 +001 +5 +10/03/2026 +") + gazzetta)) << text.toStdString();
    EXPECT_TRUE(hasLine(text, QStringLiteral("Corto Enigmi +00007 +002 +4 +31/03/2026 +") + corto));
    EXPECT_FALSE(text.contains(QStringLiteral("Mensile Illustrato")));
    EXPECT_FALSE(text.contains(soldOut));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Numeri scaduti: 2 +copie: 9"))));
    EXPECT_TRUE(hasLine(text, QStringLiteral(" +Pagina 1 di 1")));

    QString info;
    const QString words = pdfWords(pages, &info);
    for (const char* w : {"Giacenze scadute da rendere", "Corto Enigmi", "977555555555500007", "Numeri scaduti: 2"})
        EXPECT_TRUE(words.contains(QString::fromUtf8(w))) << w << "\n" << words.toStdString();
    EXPECT_FALSE(words.contains(QStringLiteral("Mensile")));
}

TEST_F(ShopArchive, ReturnsListTotalsEachSupplierAcrossPages) {
    // 60 single copies of the Gazzetta (supplier 001): more than a page holds.
    for (int i = 0; i < 60; ++i) archive.addMovement({gazzetta, QDate(2026, 3, 30), -1, 1.5, 1.2, QStringLiteral("R")});
    archive.addMovement({mensile, QDate(2026, 3, 30), -2, 4.9, 3.5, QStringLiteral("R")});
    archive.addMovement({corto, QDate(2026, 3, 30), -3, 2, 1, QStringLiteral("R")});
    archive.addMovement({corto, QDate(2026, 3, 30), -1, 2, 1, QStringLiteral("S")});  // a sale is no return
    const PreparedReport pages = prepare("Report4.frf", archive.data().Stampa3);
    ASSERT_EQ(pages.pageCount(), 2);
    const QString text = textExport(pages);
    EXPECT_EQ(text.count(QStringLiteral("Fornitore 001")), 1) << text.toStdString();
    EXPECT_TRUE(hasLine(text, QStringLiteral("Gazzetta Locale +00012 +30/03/2026 +1 +1,50 +1,20 +1,20")));
    EXPECT_EQ(text.count(QRegularExpression(QStringLiteral("Gazzetta Locale +00012"))), 60);
    EXPECT_TRUE(hasLine(text, QStringLiteral("Totale fornitore 001 +60 +72,00")));
    EXPECT_TRUE(hasLine(text, QStringLiteral("Mensile Illustrato +00003 +30/03/2026 +2 +4,90 +3,50 +7,00")));
    EXPECT_TRUE(hasLine(text, QStringLiteral("Corto Enigmi +00007 +30/03/2026 +3 +2,00 +1,00 +3,00")));
    EXPECT_TRUE(hasLine(text, QStringLiteral("Totale fornitore 002 +5 +10,00")));
    EXPECT_TRUE(hasLine(text, QStringLiteral("Totale resi +65 +82,00")));
    EXPECT_TRUE(hasLine(text, QStringLiteral(" +Pagina 1 di 2")));
    EXPECT_TRUE(hasLine(text, QStringLiteral(" +Pagina 2 di 2")));
    EXPECT_EQ(text.count(u'\f'), 1);
    // Supplier 001 ends on the second page, before supplier 002 starts.
    const qsizetype pageBreak = text.indexOf(u'\f');
    EXPECT_GT(text.indexOf(QStringLiteral("Totale fornitore 001")), pageBreak);
    EXPECT_GT(text.indexOf(QStringLiteral("Fornitore 002")), text.indexOf(QStringLiteral("Totale fornitore 001")));

    QString info;
    const QString words = pdfWords(pages, &info);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +2")))) << info.toStdString();
    for (const char* w : {"Distinta resi", "Fornitore 002", "72,00", "82,00", "Pagina 2 di 2"})
        EXPECT_TRUE(words.contains(QString::fromUtf8(w))) << w << "\n" << words.toStdString();
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The preview window driven by keys as the operator drives it, its exports and
// printing to a file, and the report component's loading and error paths.
#include "support/report_test_support.h"

#include "reports/ui/preview_window.h"
#include "reports/report_component.h"
#include "reports/report_engine.h"
#include "reports/report_exports.h"

#include "support/counter_archive.h"
#include "platform/dates.h"
#include "platform/error.h"
#include "platform/program_locale.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace reports;

namespace {

using test::templatePath;

using test::run;

// A presenter that notes what it was asked to show.
struct RecordingPresenter : ReportPresenter {
    QStringList errors;
    int previews = 0;
    int pages = 0;
    void showError(const QString& message) override { errors << message; }
    void showPreview(const PreparedReport& report) override {
        ++previews;
        pages = report.pageCount();
    }
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void pageKeysMovePages();
    void zoomFitsAndSteps();
    void exportsThroughTheFileChooser_data();
    void exportsThroughTheFileChooser();
    void printsThePageRange();
    void escapeCloses();
    void missingTemplateGivesItsMessage();
    void templateIsFoundInTheProgramFolder();
    void preparationErrorShowsErroreAndNoPreview();
    void preparationLeavesCursorsOnTheirRecord();

  private:
    std::unique_ptr<counter_test::CounterArchive> archive_;
    PreparedReport journal_;
};

void PreviewWindowTest::initTestCase() {
    platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
    platform::setToday(QDate(2026, 3, 31));
    archive_ = std::make_unique<counter_test::CounterArchive>();
    archive_->addMagazine({QStringLiteral("9771234567003"), QStringLiteral("Gazzetta Locale"), 1.5, 1.2,
                           QStringLiteral("Q"), QStringLiteral("001")});
    const QString key = QStringLiteral("977123456700312345");
    archive_->addStock({key, 10, 1.5, 1.2, QDate(2026, 3, 1), QDate(2026, 3, 2)});
    for (int i = 0; i < 120; ++i) archive_->addMovement({key, QDate(2026, 3, 1), -1, 1.5, 1.2, QStringLiteral("S")});
    archive_->data().Stampa2.open();
    TfrReport component(QStringLiteral("MenuForm"), archive_->data());
    component.loadFromFile(templatePath("Report2.frf"));
    journal_ = component.prepare();
    QCOMPARE(journal_.title, QStringLiteral("Movimenti"));
    QVERIFY(journal_.pageCount() >= 3);
}

void PreviewWindowTest::cleanupTestCase() {
    archive_.reset();
    platform::setToday({});
    platform::setProgramLocale(QLocale::system());
}

void PreviewWindowTest::pageKeysMovePages() {
    PreviewWindow window(journal_);
    QCOMPARE(window.windowTitle(), QStringLiteral("Anteprima - Movimenti"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int last = journal_.pageCount() - 1;
    const auto label = [&window] { return window.findChild<QLabel*>(QStringLiteral("pageLabel"))->text(); };
    QCOMPARE(label(), QStringLiteral("Pagina 1 di %1").arg(last + 1));

    const struct {
        Qt::Key key;
        int page;
    } steps[] = {{Qt::Key_PageDown, 1}, {Qt::Key_PageDown, 2}, {Qt::Key_End, last}, {Qt::Key_PageDown, last},
                 {Qt::Key_PageUp, last - 1}, {Qt::Key_Home, 0}, {Qt::Key_PageUp, 0}};
    for (const auto& s : steps) {
        QTest::keyClick(QApplication::focusWidget(), s.key);
        QCOMPARE(window.currentPage(), s.page);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QCOMPARE(label(), QStringLiteral("Pagina %1 di %1").arg(last + 1));
}

void PreviewWindowTest::zoomFitsAndSteps() {
    PreviewWindow window(journal_);
    window.resize(900, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const double sheetW = journal_.page.sheetWidth(), sheetH = journal_.page.sheetHeight();
    auto* scroll = window.findChild<QScrollArea*>();
    QVERIFY(scroll);

    // The whole page fits the window; page width fills it across and is larger.
    QCOMPARE(window.zoom(), PreviewWindow::Zoom::WholePage);
    const double whole = window.dotsPerMm();
    QVERIFY(sheetH * whole <= scroll->viewport()->height());
    QVERIFY(sheetW * whole <= scroll->viewport()->width());
    window.setZoom(PreviewWindow::Zoom::PageWidth);
    const double across = window.dotsPerMm();
    QVERIFY(across > whole);
    QVERIFY(sheetW * across <= scroll->viewport()->width());
    QVERIFY(sheetW * across > scroll->viewport()->width() - 60);
    QTest::qWait(20);
    QVERIFY(!scroll->horizontalScrollBar()->isVisible());  // no sideways scrolling at page width

    // Percentages: 100% is the sheet's real size on the screen; Ctrl++ and
    // Ctrl+- step through the list.
    window.setZoom(PreviewWindow::Zoom::Percent, 100);
    QCOMPARE(window.dotsPerMm(), window.logicalDpiX() / 25.4);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(window.zoomPercent(), 150);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(window.zoomPercent(), 75);
    QCOMPARE(window.findChild<QComboBox*>(QStringLiteral("zoomBox"))->currentText(), QStringLiteral("75%"));

    // The page drawn on screen: not blank.
    const QImage shot = window.grab().toImage();
    QVERIFY(!shot.isNull());
}

void PreviewWindowTest::exportsThroughTheFileChooser_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("rtf") << 0 << QStringLiteral("rtf");
    QTest::newRow("txt") << 1 << QStringLiteral("txt");
    QTest::newRow("pdf") << 2 << QStringLiteral("pdf");
}

void PreviewWindowTest::exportsThroughTheFileChooser() {
    QFETCH(int, filter);
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    PreviewWindow window(journal_);
    QStringList offered;
    QString proposed;
    // The name without a suffix: the chosen format gives it one.
    window.setSaveFileChooser([&](QWidget*, const QStringList& filters, QString& fileName, QString& chosen) {
        offered = filters;
        proposed = fileName;
        fileName = dir.filePath(QStringLiteral("giornale"));
        chosen = filters.at(filter);
        return true;
    });
    QAction* exportAction = nullptr;
    for (QAction* a : window.findChildren<QAction*>())
        if (a->text() == QStringLiteral("&Esporta...")) exportAction = a;
    QVERIFY(exportAction);
    exportAction->trigger();

    QCOMPARE(offered.value(0), QStringLiteral("File RTF - Word compatibile (*.rtf)"));
    QCOMPARE(offered.value(1), QStringLiteral("File di testo ASCII (*.txt)"));
    QCOMPARE(proposed, QStringLiteral("Movimenti"));
    QFile written(dir.filePath(QStringLiteral("giornale.") + suffix));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    if (suffix == u"txt") {
        QCOMPARE(QString::fromLatin1(bytes), textExport(journal_).replace(u'\n', QStringLiteral("\r\n")));
    } else if (suffix == u"rtf") {
        QCOMPARE(bytes, rtfExport(journal_));
    } else {
        const QString info = run(QStringLiteral("pdfinfo"), {written.fileName()});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages: +%1\\b").arg(journal_.pageCount()))),
                 qPrintable(info));
    }
}

void PreviewWindowTest::printsThePageRange() {
    QTemporaryDir dir;
    PreviewWindow window(journal_);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("stampa.pdf")));
    printer.setFullPage(true);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    printer.setCopyCount(2);
    QVERIFY(window.print(printer));
    const QString info = run(QStringLiteral("pdfinfo"), {printer.outputFileName()});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages: +4\\b"))), qPrintable(info));
    const QString words = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), printer.outputFileName(), QStringLiteral("-")});
    QCOMPARE(words.count(QStringLiteral("Pagina 2 di ")), 2);
    QCOMPARE(words.count(QStringLiteral("Pagina 1 di ")), 0);
}

void PreviewWindowTest::escapeCloses() {
    PreviewWindow window(journal_);
    bool maximised = false;
    int result = -1;
    QTimer::singleShot(0, &window, [&] {
        maximised = window.windowState().testFlag(Qt::WindowMaximized);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    result = window.exec();
    QVERIFY(maximised);
    QVERIFY(window.isModal());
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!window.isVisible());
}

void PreviewWindowTest::missingTemplateGivesItsMessage() {
    QTemporaryDir current, program;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(current.path()));
    TfrReport component(QStringLiteral("MenuForm"), DatasetResolver{});
    component.setProgramFolder(program.path());
    try {
        component.loadFromFile(QStringLiteral("Report2.frf"));
        QFAIL("a missing template loaded");
    } catch (const platform::FileError& e) {
        QCOMPARE(e.message(), QStringLiteral("Si è tentato di caricare da disco il report 'MenuForm.frReport1'. "
                                             "\r\nMa il file 'Report2.frf' è inesistente"));
    }
    QVERIFY(!component.hasTemplate());
    QCOMPARE(QDir::currentPath(), QDir(current.path()).canonicalPath());
    QDir::setCurrent(before);
}

void PreviewWindowTest::templateIsFoundInTheProgramFolder() {
    QTemporaryDir current, program;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(current.path()));
    QFile source(templatePath("Report5.frf"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray xml = source.readAll();
    writeFile(QDir(program.path()).filePath(QStringLiteral("Report5.frf")), xml);
    TfrReport component(QStringLiteral("MenuForm"), DatasetResolver{});
    component.setProgramFolder(program.path());
    component.loadFromFile(QStringLiteral("Report5.frf"));
    QCOMPARE(QFileInfo(component.heldFileName()).absolutePath(), QDir(program.path()).absolutePath());

    // The current folder comes first.
    writeFile(QDir(current.path()).filePath(QStringLiteral("Report5.frf")), xml);
    component.loadFromFile(QStringLiteral("Report5.frf"));
    QCOMPARE(QFileInfo(component.heldFileName()).canonicalPath(), QDir(current.path()).canonicalPath());
    QCOMPARE(QDir::currentPath(), QDir(current.path()).canonicalPath());

    // A broken template leaves the one held.
    writeFile(QDir(current.path()).filePath(QStringLiteral("Rotto.frf")), "<report");
    QVERIFY_THROWS_EXCEPTION(platform::Error, component.loadFromFile(QStringLiteral("Rotto.frf")));
    QVERIFY(component.heldFileName().endsWith(QStringLiteral("Report5.frf")));
    QDir::setCurrent(before);
}

void PreviewWindowTest::preparationErrorShowsErroreAndNoPreview() {
    QTemporaryDir dir;
    // The journal over a dataset the data module does not have.
    QFile source(templatePath("Report2.frf"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    writeFile(dir.filePath(QStringLiteral("Nessuno.frf")),
              source.readAll().replace(R"(dataset="Stampa2")", R"(dataset="Inesistente")"));
    TfrReport component(QStringLiteral("MenuForm"), archive_->data());
    try {
        component.loadFromFile(dir.filePath(QStringLiteral("Nessuno.frf")));
    } catch (const platform::Error& e) {
        QFAIL(qPrintable(e.message()));
    }
    RecordingPresenter recorded;
    QVERIFY(!component.showReport(recorded));
    QCOMPARE(recorded.previews, 0);
    QCOMPARE(recorded.errors.size(), 1);
    QVERIFY(recorded.errors[0].contains(QStringLiteral("Inesistente")));

    // The ui's presenter: a box titled "Errore" with the engine's message.
    QWidget owner;
    PreviewPresenter presenter(&owner);
    QString title, text;
    bool previewOpened = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            previewOpened = previewOpened || qobject_cast<PreviewWindow*>(w);
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    QVERIFY(!component.showReport(presenter));
    QCOMPARE(title, QStringLiteral("Errore"));
    QCOMPARE(text, recorded.errors[0]);
    QVERIFY(!previewOpened);
}

void PreviewWindowTest::preparationLeavesCursorsOnTheirRecord() {
    counter_test::CounterArchive archive;
    for (const char* key : {"977123456700312345", "977876543210904", "9771234567003"})
        archive.addStock({QLatin1String(key), 3, 1.5, 1.2, QDate(2026, 3, 1), QDate(2026, 4, 1)});
    dbase::Cursor& giacenza = archive.data().Giacenza;
    giacenza.first();
    giacenza.next();
    const uint32_t record = giacenza.recordNumber();
    QVERIFY(record != 0);

    TfrReport component(QStringLiteral("MenuForm"), archive.data());
    component.loadFromFile(templatePath("Report5.frf"));
    RecordingPresenter recorded;
    QVERIFY(component.showReport(recorded));
    QCOMPARE(recorded.previews, 1);
    QCOMPARE(recorded.pages, 1);
    QCOMPARE(giacenza.recordNumber(), record);
}

QTEST_MAIN(PreviewWindowTest)
#include "preview_window_test.moc"

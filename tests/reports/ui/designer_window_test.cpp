// The report designer driven with the mouse and the keys as the operator
// drives it: a template built from nothing, saved and read back, moved and
// resized with the arrows, undone to nothing and redone, previewed over the
// print dataset; the shipped templates through open and save as; the
// question about unsaved changes; the clipboard; mouse drags.
#include "support/report_test_support.h"

#include "reports/ui/designer_canvas.h"
#include "reports/ui/designer_fields.h"
#include "reports/ui/designer_palette.h"
#include "reports/ui/designer_properties.h"
#include "reports/ui/designer_window.h"
#include "reports/report_exports.h"
#include "reports/template_file.h"

#include "support/counter_archive.h"
#include "platform/dates.h"
#include "platform/program_locale.h"
#include "platform/scripted_prompts.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QPushButton>
#include <QtTest>

using namespace reports;

namespace {

struct RecordingPresenter : ReportPresenter {
    QStringList errors;
    QString text;  // the text export of the last preview
    void showError(const QString& message) override { errors << message; }
    void showPreview(const PreparedReport& report) override { text = textExport(report); }
};

QAction* menuAction(QMenu* menu, const QString& text) {
    emit menu->aboutToShow();  // the menu fills itself when it opens
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

}  // namespace

class DesignerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void buildsATemplateFromNothing();
    void shippedTemplatesOpenAndSaveBackUnchanged();
    void unsavedChangesAreOffered();
    void clipboardCopiesCutsAndPastes();
    void mouseDragsPlaceMoveResizeAndSetBandHeight();

  private:
    std::unique_ptr<DesignerWindow> makeWindow();
    QPoint at(int band, double xMm, double yMm) const;
    void addBand(const QString& caption);
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    std::unique_ptr<counter_test::CounterArchive> archive_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<platform::ScriptedPrompts> prompts_;
    std::unique_ptr<platform::PromptsScope> promptsScope_;
    RecordingPresenter presenter_;
    QStringList files_;  // what the file dialogs answer, in turn
    DesignerWindow* window_ = nullptr;
};

void DesignerWindowTest::initTestCase() {
    platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
    platform::setToday(QDate(2026, 3, 31));
    archive_ = std::make_unique<counter_test::CounterArchive>();
    archive_->addMagazine({QStringLiteral("9771234567003"), QStringLiteral("Gazzetta Locale"), 1.5, 1.2,
                           QStringLiteral("Q"), QStringLiteral("001")});
    archive_->addMagazine({QStringLiteral("9770000000017"), QStringLiteral("Enigmistica Mese"), 2, 1.6,
                           QStringLiteral("M"), QStringLiteral("002")});
    archive_->addStock({QStringLiteral("977123456700312345"), 10, 1.5, 1.2, QDate(2026, 3, 1), QDate(2026, 3, 2)});
    archive_->addStock({QStringLiteral("977000000001701"), 3, 2, 1.6, QDate(2026, 3, 3), QDate(2026, 4, 2)});
    archive_->data().Stampa1.open();
}

void DesignerWindowTest::cleanupTestCase() {
    archive_.reset();
    platform::setToday({});
    platform::setProgramLocale(QLocale::system());
}

void DesignerWindowTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    prompts_ = std::make_unique<platform::ScriptedPrompts>();
    promptsScope_ = std::make_unique<platform::PromptsScope>(*prompts_);
    presenter_ = {};
    files_.clear();
}

void DesignerWindowTest::cleanup() {
    QVERIFY2(prompts_->finished(), qPrintable(prompts_->failures().join(u'\n')));
    promptsScope_.reset();
    prompts_.reset();
    dir_.reset();
    window_ = nullptr;
}

std::unique_ptr<DesignerWindow> DesignerWindowTest::makeWindow() {
    DesignerContext context;
    context.datasets = dataModuleDatasets(archive_->data());
    context.folder = dir_->path();
    context.presenter = &presenter_;
    context.chooseFile = [this](QWidget*, bool, const QString&) { return files_.isEmpty() ? QString() : files_.takeFirst(); };
    auto window = std::make_unique<DesignerWindow>(std::move(context));
    window->resize(1200, 900);
    window->show();
    if (!QTest::qWaitForWindowActive(window.get())) return nullptr;
    window_ = window.get();
    window->canvas().setFocus();
    return window;
}

QPoint DesignerWindowTest::at(int band, double xMm, double yMm) const {
    const QRectF area = window_->canvas().bandArea(band);
    const double k = window_->canvas().pixelsPerMm();
    return QPointF(area.left() + xMm * k, area.top() + yMm * k).toPoint();
}

void DesignerWindowTest::addBand(const QString& caption) {
    QAction* a = menuAction(window_->findChild<QMenu*>(QStringLiteral("addBandMenu")), caption);
    QVERIFY2(a, qPrintable(caption));
    a->trigger();
}

void DesignerWindowTest::key(int k, Qt::KeyboardModifiers modifiers) {
    window_->canvas().setFocus();
    QTest::keyClick(&window_->canvas(), Qt::Key(k), modifiers);
}

void DesignerWindowTest::buildsATemplateFromNothing() {
    auto window = makeWindow();
    QVERIFY(window);
    DesignerDocument& doc = window->document();
    DesignerProperties& props = window->properties();
    QCOMPARE(window->windowTitle(), QStringLiteral("Progettazione report - (nuovo)[*]"));

    // A page header with a text placed by a click and typed over.
    addBand(QStringLiteral("Intestazione di pagina"));
    const int header = doc.selection().band;
    window->action(QStringLiteral("toolText"))->trigger();
    QTest::mouseClick(&window->canvas(), Qt::LeftButton, {}, at(header, 5.2, 1.1));
    QCOMPARE(QApplication::focusWidget(), props.objectText);
    QTest::keyClicks(props.objectText, QStringLiteral("Riviste in giacenza"));
    QTest::keyClick(props.objectText, Qt::Key_Return);
    QCOMPARE(doc.report().bands[size_t(header)].objects.size(), size_t(1));
    const ReportObject& title = doc.report().bands[size_t(header)].objects[0];
    QCOMPARE(title.text, QStringLiteral("Riviste in giacenza"));
    QCOMPARE(title.x, 5.0);  // on the grid
    QCOMPARE(title.y, 1.0);

    // The master data on the first print dataset, with two fields from the list.
    addBand(QStringLiteral("Dati"));
    int master = doc.selection().band;
    QCOMPARE(doc.report().bands[size_t(master)].dataset, QStringLiteral("Stampa1"));
    DesignerFieldList& fields = window->fieldList();
    QCOMPARE(fields.topLevelItem(0)->text(0), QStringLiteral("Stampa1"));
    fields.setFocus();
    for (const char* name : {"nome", "giacenza"}) {
        const QList<QTreeWidgetItem*> found = fields.findItems(QLatin1String(name), Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY(!found.isEmpty());
        fields.setCurrentItem(found.front());
        QTest::keyClick(&fields, Qt::Key_Return);
    }
    const auto& data = doc.report().bands[size_t(master)].objects;
    QCOMPARE(data.size(), size_t(2));
    QCOMPARE(data[0].text, QStringLiteral("[nome]"));
    QCOMPARE(data[1].text, QStringLiteral("[giacenza]"));
    QCOMPARE(data[1].x, data[0].x + data[0].width);

    // A group by supplier, its condition picked from the field menu, and a
    // sum in its footer.
    addBand(QStringLiteral("Intestazione gruppo"));
    QVERIFY(props.groupCondition->isVisible());
    props.groupCondition->clear();
    QMenu* picker = props.conditionFields->menu();
    QMenu* stampa1 = menuAction(picker, QStringLiteral("Stampa1"))->menu();
    menuAction(stampa1, QStringLiteral("fornitore"))->trigger();
    master = int(doc.report().masterData() - doc.report().bands.data());  // bands print in their order
    const Band* group = doc.report().groupBand(BandKind::GroupHeader, 1);
    QVERIFY(group);
    QCOMPARE(group->condition, QStringLiteral("[fornitore]"));
    const int footer = int(doc.report().groupBand(BandKind::GroupFooter, 1) - doc.report().bands.data());
    QTest::mouseClick(&window->canvas(), Qt::LeftButton, {}, at(footer, 100, 1));
    QCOMPARE(doc.selection().band, footer);
    window->action(QStringLiteral("toolExpression"))->trigger();
    QTest::mouseClick(&window->canvas(), Qt::LeftButton, {}, at(footer, 0.3, 0.3));  // inside, snapped to the corner
    QTest::keyClicks(props.objectText, QStringLiteral("Copie: [SUM(giacenza)]"));
    QTest::keyClick(props.objectText, Qt::Key_Return);
    QCOMPARE(doc.report().bands[size_t(footer)].objects.at(0).text, QStringLiteral("Copie: [SUM(giacenza)]"));

    // Ctrl+S asks for a name the first time; the file reads back the same model.
    const QString file = dir_->filePath(QStringLiteral("Mio.frf"));
    files_ << file;
    key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!doc.isModified());
    QCOMPARE(loadTemplate(file), doc.report());
    QCOMPARE(window->windowTitle(), QStringLiteral("Progettazione report - Mio.frf[*]"));
    const Report built = doc.report();

    // Arrows move by the grid step, Shift with arrows resizes; each gesture is one step.
    QTest::mouseClick(&window->canvas(), Qt::LeftButton, {}, at(master, 1, 1));
    QCOMPARE(doc.selection().objects, (std::vector<ObjectRef>{{master, 0}}));
    for (int k : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down}) key(k);
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ShiftModifier);
    const ReportObject moved = doc.report().bands[size_t(master)].objects[0];
    QCOMPARE(moved.x, 3.0);
    QCOMPARE(moved.y, 1.0);
    QCOMPARE(moved.width, 32.0);
    QCOMPARE(moved.height, 6.0);
    QVERIFY(doc.isModified());
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(doc.report().bands[size_t(master)].objects[0].width, 30.0);
    QCOMPARE(doc.report().bands[size_t(master)].objects[0].x, 3.0);
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(doc.report(), built);
    QVERIFY(!doc.isModified());
    key(Qt::Key_Y, Qt::ControlModifier);
    key(Qt::Key_Y, Qt::ControlModifier);
    const Report top = doc.report();
    QCOMPARE(top.bands[size_t(master)].objects[0], moved);

    // Undo back to nothing, and redo to the top.
    while (doc.undoStack().canUndo()) key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(doc.report(), Report{});
    while (doc.undoStack().canRedo()) key(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(doc.report(), top);

    // F5 previews what is on the page over the open print dataset.
    key(Qt::Key_F5);
    QVERIFY2(presenter_.errors.isEmpty(), qPrintable(presenter_.errors.join(u'\n')));
    for (const char* words : {"Riviste in giacenza", "Gazzetta Locale", "Enigmistica Mese", "Copie: 10", "Copie: 3"})
        QVERIFY2(presenter_.text.contains(QLatin1String(words)), words);

    // A band alone goes with Del; the master data cannot while a group divides it.
    QTest::mouseClick(&window->canvas(), Qt::LeftButton, {}, at(master, 150, 1));
    QCOMPARE(doc.selection().band, master);
    prompts_->expectError(QStringLiteral("Togliere prima i gruppi, che dividono i dati"));
    key(Qt::Key_Delete);
    QCOMPARE(doc.report(), top);
    QTest::mouseClick(&window->canvas(), Qt::LeftButton, {}, at(header, 150, 1));
    key(Qt::Key_Delete);
    QCOMPARE(doc.report().bands.size(), top.bands.size() - 1);

    prompts_->expectQuestion(unsavedChangesQuestion(), false);
    master = int(doc.report().masterData() - doc.report().bands.data());
    QTest::mouseClick(&window->canvas(), Qt::LeftButton, {}, at(master, 5, 2));
    QCOMPARE(doc.selection().objects.size(), size_t(1));
    key(Qt::Key_Escape);  // the selection goes first
    QVERIFY(window->isVisible());
    key(Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    QCOMPARE(loadTemplate(file), built);  // the changes were not wanted
}

void DesignerWindowTest::shippedTemplatesOpenAndSaveBackUnchanged() {
    auto window = makeWindow();
    QVERIFY(window);
    for (const char* name : {"Report1.frf", "Report2.frf", "Report3.frf", "Report4.frf", "Report5.frf"}) {
        const Report shipped = loadTemplate(test::templatePath(name));
        files_ << test::templatePath(name);
        window->action(QStringLiteral("actionOpen"))->trigger();
        QCOMPARE(window->document().report(), shipped);
        QVERIFY(!window->grab().isNull());  // every band and object draws
        const QString copy = dir_->filePath(QLatin1String(name)).chopped(4);  // the suffix is added
        files_ << copy;
        window->action(QStringLiteral("actionSaveAs"))->trigger();
        QCOMPARE(window->document().fileName(), copy + QStringLiteral(".frf"));
        QCOMPARE(loadTemplate(copy + QStringLiteral(".frf")), shipped);
    }
    // A file that does not load is refused with the loader's message.
    const QString bad = dir_->filePath(QStringLiteral("Rotto.frf"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<tasmero-report version=\"1\"><band kind=\"nessuna\" height=\"5\"/></tasmero-report>");
    f.close();
    files_ << bad;
    prompts_->expectError(bad + QStringLiteral(", line 1: unknown band kind \"nessuna\""));
    window->action(QStringLiteral("actionOpen"))->trigger();
    QCOMPARE(window->document().fileName(), dir_->filePath(QStringLiteral("Report5.frf")));
}

void DesignerWindowTest::unsavedChangesAreOffered() {
    auto window = makeWindow();
    QVERIFY(window);
    DesignerDocument& doc = window->document();
    addBand(QStringLiteral("Riepilogo"));

    // "No" to saving before another template: the changes go.
    prompts_->expectQuestion(unsavedChangesQuestion(), false);
    window->action(QStringLiteral("actionNew"))->trigger();
    QCOMPARE(doc.report(), Report{});

    // "Sì" and then no file chosen: nothing is lost, the window stays.
    addBand(QStringLiteral("Riepilogo"));
    prompts_->expectQuestion(unsavedChangesQuestion(), true);
    window->reject();
    QVERIFY(window->isVisible());
    QVERIFY(doc.isModified());

    // "Sì" with a file: saved, then closed.
    const QString file = dir_->filePath(QStringLiteral("Riepilogo.frf"));
    files_ << file;
    prompts_->expectQuestion(unsavedChangesQuestion(), true);
    window->close();
    QVERIFY(!window->isVisible());
    QCOMPARE(loadTemplate(file), doc.report());
}

void DesignerWindowTest::clipboardCopiesCutsAndPastes() {
    auto window = makeWindow();
    QVERIFY(window);
    DesignerDocument& doc = window->document();
    addBand(QStringLiteral("Intestazione colonne"));
    const int band = doc.selection().band;
    // A line with the keys alone: Ctrl+4 chooses it, Insert places it, arrows move it.
    key(Qt::Key_4, Qt::ControlModifier);
    key(Qt::Key_Insert);
    for (int i = 0; i < 10; ++i) key(Qt::Key_Right);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_C, Qt::ControlModifier);
    key(Qt::Key_V, Qt::ControlModifier);
    key(Qt::Key_V, Qt::ControlModifier);
    const std::vector<ReportObject> objects = doc.report().bands[size_t(band)].objects;
    QCOMPARE(objects.size(), size_t(3));
    QCOMPARE(objects[1].x, 12.0);
    QCOMPARE(objects[2].x, 14.0);
    QCOMPARE(objects[2].kind, ObjectKind::Line);
    QCOMPARE(doc.selection().objects, (std::vector<ObjectRef>{{band, 2}}));
    key(Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(doc.report().bands[size_t(band)].objects.size(), size_t(2));
    // Ctrl+A then the alignment tools line everything up on the first.
    key(Qt::Key_A, Qt::ControlModifier);
    window->action(QStringLiteral("actionAlignLeft"))->trigger();
    QCOMPARE(doc.report().bands[size_t(band)].objects[1].x, 10.0);

    prompts_->expectQuestion(unsavedChangesQuestion(), false);
    window->reject();
}

void DesignerWindowTest::mouseDragsPlaceMoveResizeAndSetBandHeight() {
    auto window = makeWindow();
    QVERIFY(window);
    DesignerDocument& doc = window->document();
    addBand(QStringLiteral("Titolo del report"));
    const int band = doc.selection().band;
    QWidget* canvas = &window->canvas();

    // A rectangle dragged out over the band.
    window->action(QStringLiteral("toolRectangle"))->trigger();
    QTest::mousePress(canvas, Qt::LeftButton, {}, at(band, 10, 2));
    QTest::mouseMove(canvas, at(band, 30, 5));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, at(band, 50, 8));
    // The model is replaced at each step: look at it afresh.
    const auto object = [&doc, band] { return doc.report().bands[size_t(band)].objects.at(0); };
    QCOMPARE(doc.report().bands[size_t(band)].objects.size(), size_t(1));
    QCOMPARE(std::tuple(object().x, object().y, object().width, object().height), std::tuple(10.0, 2.0, 40.0, 6.0));
    QVERIFY(!window->palette().chosen());

    // Dragged by its middle it moves; by its corner square it grows.
    QTest::mousePress(canvas, Qt::LeftButton, {}, at(band, 30, 5));
    QTest::mouseMove(canvas, at(band, 33, 6));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, at(band, 35, 6));
    QCOMPARE(std::tuple(object().x, object().y), std::tuple(15.0, 3.0));
    const QRectF r = window->canvas().objectRect({band, 0});
    const QPoint corner = (r.bottomRight() + QPointF(2, 2)).toPoint();
    const double k = window->canvas().pixelsPerMm();
    QTest::mousePress(canvas, Qt::LeftButton, {}, corner);
    QTest::mouseMove(canvas, corner + QPoint(int(5 * k), 0));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, corner + QPoint(int(10 * k + 1), int(1 * k + 1)));
    QCOMPARE(std::tuple(object().width, object().height), std::tuple(50.0, 7.0));

    // The band's lower edge sets its height.
    const QPoint edge = at(band, 150, doc.report().bands[size_t(band)].height);
    QTest::mousePress(canvas, Qt::LeftButton, {}, edge);
    QTest::mouseMove(canvas, edge + QPoint(0, int(5 * k)));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, edge + QPoint(0, int(10 * k + 1)));
    QCOMPARE(doc.report().bands[size_t(band)].height, 20.0);

    // One step per gesture.
    QCOMPARE(doc.undoStack().count(), 5);  // the band, the rectangle, move, resize, height
    prompts_->expectQuestion(unsavedChangesQuestion(), false);
    window->reject();
}

QTEST_MAIN(DesignerWindowTest)
#include "designer_window_test.moc"

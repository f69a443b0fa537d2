// The designer's edits and its document without a window: every edit leaves
// a template the loader takes back unchanged, undo and redo walk the history
// exactly, saving refuses what would not load and never leaves half a file,
// and the shipped templates save back as they were.
#include "support/report_test_support.h"

#include "reports/designer_document.h"
#include "reports/designer_edits.h"
#include "reports/expression.h"
#include "reports/template_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace reports;

namespace {

// What a model looks like after a trip through the file format.
Report reloaded(const Report& r) { return parseTemplate(serializeTemplate(r), QStringLiteral("test")); }

std::vector<std::pair<BandKind, int>> shape(const Report& r) {
    std::vector<std::pair<BandKind, int>> s;
    for (int i : bandsInPrintOrder(r)) s.emplace_back(r.bands[size_t(i)].kind, r.bands[size_t(i)].group);
    return s;
}

ReportObject text(double x, double y, double w, double h) {
    ReportObject o = newObject(PaletteItem::Text, x, y);
    o.width = w;
    o.height = h;
    return o;
}

}  // namespace

TEST(DesignerEdits, BandsStayLoadableAndPrintInOrder) {
    Report r;
    // Bands added in any order print in the engine's order; each step loads back.
    addBand(r, BandKind::PageFooter);
    addBand(r, BandKind::MasterData, QStringLiteral("Stampa1"));
    addBand(r, BandKind::GroupHeader);
    addBand(r, BandKind::GroupHeader);
    addBand(r, BandKind::PageHeader);
    EXPECT_EQ(reloaded(r), r);
    using K = BandKind;
    const std::vector<std::pair<K, int>> expected = {{K::PageHeader, 0},  {K::GroupHeader, 1}, {K::GroupHeader, 2},
                                                     {K::MasterData, 0},  {K::GroupFooter, 2}, {K::GroupFooter, 1},
                                                     {K::PageFooter, 0}};
    EXPECT_EQ(shape(r), expected);

    // A kind present once is not offered again; a second master is refused.
    const std::vector<K> addable = addableBandKinds(r);
    EXPECT_EQ(std::count(addable.begin(), addable.end(), K::PageHeader), 0);
    EXPECT_EQ(std::count(addable.begin(), addable.end(), K::GroupHeader), 1);
    EXPECT_THROW(addBand(r, K::MasterData, QStringLiteral("Stampa2")), ReportError);

    // The master data cannot go while groups divide it.
    const int master = bandsInPrintOrder(r)[3];
    EXPECT_THROW(removeBand(r, master), ReportError);

    // Swapping groups keeps headers and footers paired.
    r.bands[size_t(bandsInPrintOrder(r)[1])].condition = QStringLiteral("[fornitore]");
    ASSERT_TRUE(moveGroup(r, 1, +1));
    EXPECT_EQ(r.groupBand(K::GroupHeader, 2)->condition, QStringLiteral("[fornitore]"));
    EXPECT_FALSE(moveGroup(r, 2, +1));
    EXPECT_EQ(reloaded(r), r);

    // Removing the outer group's header takes its footer; the inner group moves out.
    removeBand(r, int(r.groupBand(K::GroupHeader, 1) - r.bands.data()));
    EXPECT_EQ(r.groupCount(), 1);
    EXPECT_EQ(r.groupBand(K::GroupHeader, 1)->condition, QStringLiteral("[fornitore]"));
    ASSERT_NE(r.groupBand(K::GroupFooter, 1), nullptr);
    EXPECT_EQ(r.groupBand(K::GroupFooter, 2), nullptr);
    EXPECT_EQ(reloaded(r), r);

    // A footer removed alone can be added back to its group.
    removeBand(r, int(r.groupBand(K::GroupFooter, 1) - r.bands.data()));
    addBand(r, K::GroupFooter);
    ASSERT_NE(r.groupBand(K::GroupFooter, 1), nullptr);
    EXPECT_EQ(reloaded(r), r);
}

TEST(DesignerEdits, MoveResizeAndAlign) {
    Report r;
    const int band = addBand(r, BandKind::PageHeader);
    r.bands[size_t(band)].objects = {text(10, 2, 30, 5), text(50, 4, 20, 6), text(1, 0, 10, 5)};
    const std::vector<ObjectRef> all = {{band, 0}, {band, 1}, {band, 2}};

    // The selection moves as one: it stops when any object meets the edge.
    moveObjects(r, all, -5, -1);
    const auto& o = r.bands[size_t(band)].objects;
    EXPECT_EQ(o[0].x, 9);
    EXPECT_EQ(o[1].x, 49);
    EXPECT_EQ(o[2].x, 0);
    EXPECT_EQ(o[0].y, 2);  // one object at the top edge holds the others
    resizeObjects(r, {{band, 2}}, -20, 1);
    EXPECT_EQ(o[2].width, 0);
    EXPECT_EQ(o[2].height, 6);

    const struct {
        AlignTool tool;
        double x, y, w, h;  // of the second object after lining up on the first (9, 2, 30 × 5)
    } cases[] = {
        {AlignTool::Left, 9, 4, 20, 6},   {AlignTool::Right, 19, 4, 20, 6},         {AlignTool::Top, 49, 2, 20, 6},
        {AlignTool::Bottom, 49, 1, 20, 6}, {AlignTool::CenterHorizontally, 14, 4, 20, 6},
        {AlignTool::SameWidth, 49, 4, 30, 6}, {AlignTool::SameHeight, 49, 4, 20, 5}, {AlignTool::SameSize, 49, 4, 30, 5},
    };
    for (const auto& c : cases) {
        Report copy = r;
        alignObjects(copy, {{band, 0}, {band, 1}}, c.tool);
        const ReportObject& second = copy.bands[size_t(band)].objects[1];
        EXPECT_EQ(std::tie(second.x, second.y, second.width, second.height), std::tie(c.x, c.y, c.w, c.h))
            << int(c.tool);
    }

    removeObjects(r, {{band, 2}, {band, 0}});
    ASSERT_EQ(o.size(), 1u);
    EXPECT_EQ(o[0].x, 49);
}

TEST(DesignerEdits, ClipboardCarriesObjectsThroughTheLoader) {
    Report r;
    const int band = addBand(r, BandKind::MasterData, QStringLiteral("Stampa1"));
    ReportObject field = text(0, 0, 60, 5);
    field.text = QStringLiteral("[nome] & <\"prezzo\">");
    field.font.bold = true;
    field.format = QStringLiteral("0.00;;#");
    ReportObject code = newObject(PaletteItem::Barcode, 70, 0);
    r.bands[size_t(band)].objects = {field, code};

    const QByteArray clip = copyObjects(r, {{band, 0}, {band, 1}});
    std::vector<ReportObject> objects = objectsFromClipboard(clip);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0], field);
    EXPECT_EQ(objects[1], code);

    // Pasted over their originals, the copies shift together by 2 mm.
    const std::vector<ObjectRef> pasted = pasteObjects(r, band, objects);
    ASSERT_EQ(pasted.size(), 2u);
    EXPECT_EQ(r.bands[size_t(band)].objects[2].x, 2);
    EXPECT_EQ(r.bands[size_t(band)].objects[3].x, 72);
    EXPECT_EQ(r.bands[size_t(band)].objects[3].y, 2);

    EXPECT_TRUE(objectsFromClipboard("some text someone copied").empty());
    EXPECT_TRUE(objectsFromClipboard(serializeTemplate(Report{})).empty());
}

TEST(DesignerDocument, UndoRedoAndMergedSteps) {
    DesignerDocument doc;
    doc.reset(Report{}, QString());
    int band = -1;
    doc.change(QStringLiteral("band"), [&](Report& r, Selection& s) {
        band = addBand(r, BandKind::PageHeader);
        s = Selection{band, {}};
    });
    doc.change(QStringLiteral("object"), [&](Report& r, Selection& s) {
        s = Selection{-1, pasteObjects(r, band, {text(0, 0, 30, 5)})};
    });
    const Report placed = doc.report();
    const Selection sel = doc.selection();
    // Three moves of one gesture are one step; a change of nothing is none.
    for (int i = 0; i < 3; ++i)
        doc.change(QStringLiteral("move"), [&](Report& r, Selection& s) { moveObjects(r, s.objects, 1, 0); }, 1);
    doc.change(QStringLiteral("nothing"), [](Report&, Selection&) {});
    EXPECT_EQ(doc.undoStack().count(), 3);
    EXPECT_EQ(doc.report().bands[0].objects[0].x, 3);
    EXPECT_TRUE(doc.isModified());

    doc.undoStack().undo();
    EXPECT_EQ(doc.report(), placed);
    EXPECT_EQ(doc.selection(), sel);
    doc.undoStack().undo();
    doc.undoStack().undo();
    EXPECT_EQ(doc.report(), Report{});
    EXPECT_FALSE(doc.isModified());
    doc.undoStack().redo();
    doc.undoStack().redo();
    doc.undoStack().redo();
    EXPECT_EQ(doc.report().bands[0].objects[0].x, 3);

    // Moving back to where the gesture started leaves no step behind.
    doc.change(QStringLiteral("move"), [](Report& r, Selection& s) { moveObjects(r, s.objects, 0, 1); }, 1);
    doc.change(QStringLiteral("move"), [](Report& r, Selection& s) { moveObjects(r, s.objects, 0, -1); }, 1);
    EXPECT_EQ(doc.undoStack().count(), 3);
}

TEST(DesignerDocument, SaveRefusesWhatWouldNotLoadAndKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Report9.frf"));
    DesignerDocument doc;
    Report r;
    const int band = addBand(r, BandKind::MasterData, QStringLiteral("Giacenza"));
    r.bands[size_t(band)].objects.push_back(newObject(PaletteItem::Barcode, 0, 0));
    doc.reset(r, QString());
    doc.save(path);
    EXPECT_EQ(doc.fileName(), path);
    EXPECT_EQ(loadTemplate(path), r);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    // A barcode that names no code would be refused at the next load: it is
    // refused now, with the loader's message, and the file stays.
    doc.change(QStringLiteral("empty code"), [](Report& rep, Selection&) { rep.bands[0].objects[0].text.clear(); });
    try {
        doc.save(path);
        FAIL() << "saved a template that does not load";
    } catch (const TemplateError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("<barcode> names no code"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().startsWith(path)) << e.message().toStdString();
    }
    EXPECT_TRUE(doc.isModified());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    f.close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Report9.frf")});

    // A folder that cannot be written: the file error, nothing else changes.
    doc.undoStack().undo();
    EXPECT_THROW(doc.save(dir.filePath(QStringLiteral("missing/Report9.frf"))), platform::FileError);
    EXPECT_EQ(doc.fileName(), path);
}

TEST(DesignerDocument, ShippedTemplatesSaveBackUnchanged) {
    QTemporaryDir dir;
    for (const char* name : {"Report1.frf", "Report2.frf", "Report3.frf", "Report4.frf", "Report5.frf"}) {
        const Report shipped = loadTemplate(test::templatePath(name));
        DesignerDocument doc;
        doc.reset(shipped, test::templatePath(name));
        const QString copy = dir.filePath(QLatin1String(name));
        doc.save(copy);
        EXPECT_EQ(loadTemplate(copy), shipped) << name;
    }
}

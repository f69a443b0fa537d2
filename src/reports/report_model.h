// The report template model: a page, and bands of objects laid out on it.
//
// A report runs over one master dataset. Its bands print in the usual order:
// the report title once, the page header and the column header at the top of
// every page, group headers and footers around the records of each group
// (nested groups, outermost first), the master data band once per record,
// the page footer at the bottom of every page and the summary after the last
// record. Lengths are millimetres; positions of objects are relative to the
// top-left corner of their band.
//
// Text objects hold literal text with expressions in square brackets,
// "Totale: [SUM(valore_v)]"; see expression.h for what an expression may say.
#pragma once

#include <QString>
#include <vector>

namespace reports {

enum class BandKind {
    ReportTitle,
    PageHeader,
    ColumnHeader,
    GroupHeader,
    MasterData,
    GroupFooter,
    PageFooter,
    ReportSummary,
};

enum class ObjectKind { Text, Line, Rectangle, Barcode };
enum class Align { Left, Center, Right };

struct FontSpec {
    QString family = QStringLiteral("DejaVu Sans");
    double size = 9;  // points
    bool bold = false;
    bool italic = false;
    bool operator==(const FontSpec&) const = default;
};

struct ReportObject {
    ObjectKind kind = ObjectKind::Text;
    double x = 0, y = 0, width = 0, height = 0;
    // Text: literal text with [expressions]. Barcode: the expression that
    // gives the code (an issue key of 8, 13, 15 or 18 digits).
    QString text;
    FontSpec font;
    Align align = Align::Left;
    bool wordWrap = false;  // long text breaks into lines and the band grows
    QString format;         // number picture for the values of its expressions
    double lineWidth = 0.2;  // lines and rectangles
    bool operator==(const ReportObject&) const = default;
};

struct Band {
    BandKind kind = BandKind::MasterData;
    double height = 5;
    QString dataset;     // master data: the data-module name of its dataset
    int group = 0;       // group header/footer: 1 for the outermost group
    QString condition;   // group header: the expression whose change starts a new group
    bool newPage = false;       // group header: each group starts on a new page
    bool keepTogether = false;  // group header: a group that fits on a page is not split
    bool printIfNotEmpty = false;  // left out when all its expressions come out empty
    int columns = 1;             // master data: records side by side (label sheets)
    double columnGap = 0;
    std::vector<ReportObject> objects;
    bool operator==(const Band&) const = default;
};

struct PageSpec {
    double width = 210, height = 297;  // portrait A4
    bool landscape = false;
    double left = 10, top = 10, right = 10, bottom = 10;
    // The sheet as printed: width and height swap for landscape.
    double sheetWidth() const { return landscape ? height : width; }
    double sheetHeight() const { return landscape ? width : height; }
    bool operator==(const PageSpec&) const = default;
};

struct Report {
    QString name;  // what the template calls itself; the window caption uses the component's title
    PageSpec page;
    std::vector<Band> bands;

    const Band* band(BandKind kind) const;
    const Band* masterData() const { return band(BandKind::MasterData); }
    int groupCount() const;
    const Band* groupBand(BandKind kind, int group) const;
    bool operator==(const Report&) const = default;
};

QString bandKindName(BandKind kind);

}  // namespace reports

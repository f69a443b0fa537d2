// The edits the report designer makes to a template, as plain functions on
// the engine's model, so that they are tested without a window.
//
// Every function leaves a model that the template loader accepts as long as
// it was given one: at most one band of each kind (one header and footer per
// group), group footers only under their header, groups numbered 1, 2, ...
// without a gap, no negative length. Objects are referred to by band and
// position in the model's vectors; bands are shown in the order they print
// (bandsInPrintOrder), whatever their order in the file.
#pragma once

#include "reports/report_model.h"

#include <QByteArray>
#include <QString>
#include <compare>
#include <vector>

namespace reports {

struct ObjectRef {
    int band = -1;
    int index = -1;
    auto operator<=>(const ObjectRef&) const = default;
};

// What is selected: objects, or one band alone, or nothing (the page).
struct Selection {
    int band = -1;                   // a band chosen by itself (no objects)
    std::vector<ObjectRef> objects;  // in the order they were picked; the first is the anchor
    bool isEmpty() const { return band < 0 && objects.empty(); }
    bool operator==(const Selection&) const = default;
};

// Indexes into report.bands, in the order the bands print on a page.
std::vector<int> bandsInPrintOrder(const Report& report);

// The operator's name for a kind of band, "Intestazione di pagina", and for
// one band, "Dati: Stampa1", "Intestazione gruppo 1: [data]".
QString bandKindCaption(BandKind kind);
QString bandCaption(const Band& band);

// Band kinds the report may still take (a kind present once is not offered
// again; group bands are added as a header and footer pair).
std::vector<BandKind> addableBandKinds(const Report& report);
// Adds a band of `kind` where it prints and returns its index. A group header
// becomes the innermost group, with its footer; a master-data band reads
// `dataset`.
int addBand(Report& report, BandKind kind, const QString& dataset = QString());
// Removes a band with its objects; a group header or footer takes its whole
// group (header and footer) with it, and the inner groups move out one level.
void removeBand(Report& report, int band);
// Swaps group `group` with the one inside it (direction +1) or around it (-1).
// Returns false when there is none.
bool moveGroup(Report& report, int group, int direction);

// A new object of the palette's kind with a sensible size.
enum class PaletteItem { Text, Field, Expression, Line, Rectangle, Barcode };
ReportObject newObject(PaletteItem item, double x, double y);

// Moves and resizes the objects, never left of or above their band's corner
// and never below zero size.
void moveObjects(Report& report, const std::vector<ObjectRef>& objects, double dx, double dy);
void resizeObjects(Report& report, const std::vector<ObjectRef>& objects, double dw, double dh);
// Removes the objects; references to other objects of the same bands shift.
void removeObjects(Report& report, std::vector<ObjectRef> objects);

enum class AlignTool { Left, Right, Top, Bottom, CenterHorizontally, SameWidth, SameHeight, SameSize };
// Lines the objects up on the first one of the list.
void alignObjects(Report& report, const std::vector<ObjectRef>& objects, AlignTool tool);

// The clipboard's form of objects: a template holding one band with copies
// of them, so that what is pasted went through the same strict loader.
QByteArray copyObjects(const Report& report, const std::vector<ObjectRef>& objects);
// The objects of a clipboard text; none when it is not one of ours.
std::vector<ReportObject> objectsFromClipboard(const QByteArray& data);
// Appends the objects to `band` and returns their references; a copy that
// would fall exactly on its original is set a little lower and to the right.
std::vector<ObjectRef> pasteObjects(Report& report, int band, std::vector<ReportObject> objects);

inline constexpr char kClipboardMimeType[] = "application/x-tasmero-report-objects";

}  // namespace reports

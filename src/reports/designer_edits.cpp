#include "reports/designer_edits.h"

#include "reports/expression.h"
#include "reports/template_file.h"

#include <algorithm>

namespace reports {
namespace {

int printRank(const Band& b) {
    switch (b.kind) {
    case BandKind::ReportTitle: return 0;
    case BandKind::PageHeader: return 1;
    case BandKind::ColumnHeader: return 2;
    case BandKind::GroupHeader: return 10 + b.group;
    case BandKind::MasterData: return 1000;
    case BandKind::GroupFooter: return 2000 - b.group;
    case BandKind::ReportSummary: return 3000;
    case BandKind::PageFooter: return 4000;
    }
    return 0;
}

bool hasKind(const Report& r, BandKind kind, int group = 0) {
    for (const Band& b : r.bands)
        if (b.kind == kind && (group == 0 || b.group == group)) return true;
    return false;
}

int groupLackingFooter(const Report& r) {
    for (int g = 1; g <= r.groupCount(); ++g)
        if (!hasKind(r, BandKind::GroupFooter, g)) return g;
    return 0;
}

}  // namespace

std::vector<int> bandsInPrintOrder(const Report& report) {
    std::vector<int> order(report.bands.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&report](int a, int b) {
        return printRank(report.bands[size_t(a)]) < printRank(report.bands[size_t(b)]);
    });
    return order;
}

QString bandKindCaption(BandKind kind) {
    switch (kind) {
    case BandKind::ReportTitle: return QStringLiteral("Titolo del report");
    case BandKind::PageHeader: return QStringLiteral("Intestazione di pagina");
    case BandKind::ColumnHeader: return QStringLiteral("Intestazione colonne");
    case BandKind::GroupHeader: return QStringLiteral("Intestazione gruppo");
    case BandKind::MasterData: return QStringLiteral("Dati");
    case BandKind::GroupFooter: return QStringLiteral("Piede gruppo");
    case BandKind::ReportSummary: return QStringLiteral("Riepilogo");
    case BandKind::PageFooter: return QStringLiteral("Piè di pagina");
    }
    return {};
}

QString bandCaption(const Band& band) {
    const QString kind = bandKindCaption(band.kind);
    switch (band.kind) {
    case BandKind::GroupHeader: return QStringLiteral("%1 %2: %3").arg(kind).arg(band.group).arg(band.condition);
    case BandKind::GroupFooter: return QStringLiteral("%1 %2").arg(kind).arg(band.group);
    case BandKind::MasterData: return QStringLiteral("%1: %2").arg(kind, band.dataset);
    default: return kind;
    }
}

std::vector<BandKind> addableBandKinds(const Report& report) {
    std::vector<BandKind> kinds;
    for (BandKind k : {BandKind::ReportTitle, BandKind::PageHeader, BandKind::ColumnHeader, BandKind::MasterData,
                       BandKind::ReportSummary, BandKind::PageFooter})
        if (!hasKind(report, k)) kinds.push_back(k);
    // Groups break the master data's records, so they need it.
    if (report.masterData()) kinds.push_back(BandKind::GroupHeader);
    if (groupLackingFooter(report) > 0) kinds.push_back(BandKind::GroupFooter);
    std::sort(kinds.begin(), kinds.end());
    return kinds;
}

static int insertBand(Report& report, Band band) {
    const int rank = printRank(band);
    auto at = std::find_if(report.bands.begin(), report.bands.end(),
                           [rank](const Band& b) { return printRank(b) > rank; });
    // Inserting may move the vector: measure from its new start.
    const auto inserted = report.bands.insert(at, std::move(band));
    return int(inserted - report.bands.begin());
}

int addBand(Report& report, BandKind kind, const QString& dataset) {
    Band band;
    band.kind = kind;
    band.height = kind == BandKind::ReportTitle ? 10 : kind == BandKind::GroupHeader ? 6 : 5;
    switch (kind) {
    case BandKind::MasterData:
        if (report.masterData()) throw ReportError(QStringLiteral("Il report ha già una banda dati"));
        band.dataset = dataset;
        break;
    case BandKind::GroupHeader: {
        if (!report.masterData()) throw ReportError(QStringLiteral("Un gruppo richiede la banda dati"));
        band.group = report.groupCount() + 1;
        band.condition = QStringLiteral("[campo]");
        Band footer;
        footer.kind = BandKind::GroupFooter;
        footer.group = band.group;
        footer.height = 6;
        insertBand(report, std::move(footer));
        break;
    }
    case BandKind::GroupFooter:
        band.group = groupLackingFooter(report);
        if (band.group == 0) throw ReportError(QStringLiteral("Ogni gruppo ha già il suo piede"));
        band.height = 6;
        break;
    default:
        if (hasKind(report, kind)) throw ReportError(QStringLiteral("Il report ha già questa banda"));
    }
    return insertBand(report, std::move(band));
}

void removeBand(Report& report, int index) {
    const Band removed = report.bands.at(size_t(index));
    if (removed.kind == BandKind::MasterData && report.groupCount() > 0)
        throw ReportError(QStringLiteral("Togliere prima i gruppi, che dividono i dati"));
    if (removed.kind != BandKind::GroupHeader) {
        report.bands.erase(report.bands.begin() + index);
        return;
    }
    const int group = removed.group;
    std::erase_if(report.bands, [group](const Band& b) {
        return (b.kind == BandKind::GroupHeader || b.kind == BandKind::GroupFooter) && b.group == group;
    });
    for (Band& b : report.bands)
        if ((b.kind == BandKind::GroupHeader || b.kind == BandKind::GroupFooter) && b.group > group) --b.group;
}

bool moveGroup(Report& report, int group, int direction) {
    const int other = group + direction;
    if (group < 1 || other < 1 || group > report.groupCount() || other > report.groupCount()) return false;
    for (Band& b : report.bands) {
        if (b.kind != BandKind::GroupHeader && b.kind != BandKind::GroupFooter) continue;
        if (b.group == group) b.group = other;
        else if (b.group == other) b.group = group;
    }
    return true;
}

ReportObject newObject(PaletteItem item, double x, double y) {
    ReportObject o;
    o.x = x;
    o.y = y;
    o.width = 30;
    o.height = 5;
    switch (item) {
    case PaletteItem::Text: o.text = QStringLiteral("Testo"); break;
    case PaletteItem::Field: o.text = QStringLiteral("[campo]"); break;
    case PaletteItem::Expression: o.text = QStringLiteral("[DATE]"); break;
    case PaletteItem::Line:
        o.kind = ObjectKind::Line;
        o.width = 40;
        o.height = 0;
        break;
    case PaletteItem::Rectangle:
        o.kind = ObjectKind::Rectangle;
        o.width = 40;
        o.height = 10;
        break;
    case PaletteItem::Barcode:
        o.kind = ObjectKind::Barcode;
        o.text = QStringLiteral("[barcode2]");
        o.width = 40;
        o.height = 15;
        break;
    }
    return o;
}

static ReportObject& at(Report& r, const ObjectRef& ref) {
    return r.bands.at(size_t(ref.band)).objects.at(size_t(ref.index));
}

void moveObjects(Report& report, const std::vector<ObjectRef>& objects, double dx, double dy) {
    // The selection moves as one: it stops when its first object meets the edge.
    for (const ObjectRef& ref : objects) {
        const ReportObject& o = at(report, ref);
        dx = std::max(dx, -o.x);
        dy = std::max(dy, -o.y);
    }
    for (const ObjectRef& ref : objects) {
        ReportObject& o = at(report, ref);
        o.x += dx;
        o.y += dy;
    }
}

void resizeObjects(Report& report, const std::vector<ObjectRef>& objects, double dw, double dh) {
    for (const ObjectRef& ref : objects) {
        ReportObject& o = at(report, ref);
        o.width = std::max(0.0, o.width + dw);
        o.height = std::max(0.0, o.height + dh);
    }
}

void removeObjects(Report& report, std::vector<ObjectRef> objects) {
    std::sort(objects.begin(), objects.end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        auto& list = report.bands.at(size_t(it->band)).objects;
        list.erase(list.begin() + it->index);
    }
}

void alignObjects(Report& report, const std::vector<ObjectRef>& objects, AlignTool tool) {
    if (objects.size() < 2) return;
    const ReportObject anchor = at(report, objects.front());
    for (size_t i = 1; i < objects.size(); ++i) {
        ReportObject& o = at(report, objects[i]);
        switch (tool) {
        case AlignTool::Left: o.x = anchor.x; break;
        case AlignTool::Right: o.x = std::max(0.0, anchor.x + anchor.width - o.width); break;
        case AlignTool::Top: o.y = anchor.y; break;
        case AlignTool::Bottom: o.y = std::max(0.0, anchor.y + anchor.height - o.height); break;
        case AlignTool::CenterHorizontally: o.x = std::max(0.0, anchor.x + (anchor.width - o.width) / 2); break;
        case AlignTool::SameWidth: o.width = anchor.width; break;
        case AlignTool::SameHeight: o.height = anchor.height; break;
        case AlignTool::SameSize:
            o.width = anchor.width;
            o.height = anchor.height;
            break;
        }
    }
}

QByteArray copyObjects(const Report& report, const std::vector<ObjectRef>& objects) {
    Report clip;
    Band band;
    band.kind = BandKind::PageHeader;
    for (const ObjectRef& ref : objects) band.objects.push_back(report.bands.at(size_t(ref.band)).objects.at(size_t(ref.index)));
    clip.bands.push_back(std::move(band));
    return serializeTemplate(clip);
}

std::vector<ReportObject> objectsFromClipboard(const QByteArray& data) {
    try {
        Report clip = parseTemplate(data, QStringLiteral("clipboard"));
        if (clip.bands.size() != 1) return {};
        return std::move(clip.bands.front().objects);
    } catch (const platform::Error&) {
        return {};
    }
}

std::vector<ObjectRef> pasteObjects(Report& report, int band, std::vector<ReportObject> objects) {
    auto& list = report.bands.at(size_t(band)).objects;
    const auto clashes = [&list](const ReportObject& o) {
        return std::any_of(list.begin(), list.end(), [&o](const ReportObject& p) {
            return p.kind == o.kind && p.x == o.x && p.y == o.y;
        });
    };
    // All copies shift together, so the pasted group keeps its shape.
    double shift = 0;
    while (std::any_of(objects.begin(), objects.end(), [&](ReportObject o) {
        o.x += shift;
        o.y += shift;
        return clashes(o);
    }))
        shift += 2;
    std::vector<ObjectRef> refs;
    for (ReportObject& o : objects) {
        o.x += shift;
        o.y += shift;
        list.push_back(std::move(o));
        refs.push_back({band, int(list.size()) - 1});
    }
    return refs;
}

}  // namespace reports

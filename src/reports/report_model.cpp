#include "reports/report_model.h"

#include <algorithm>

namespace reports {

const Band* Report::band(BandKind kind) const {
    for (const Band& b : bands)
        if (b.kind == kind) return &b;
    return nullptr;
}

int Report::groupCount() const {
    int count = 0;
    for (const Band& b : bands)
        if (b.kind == BandKind::GroupHeader) count = std::max(count, b.group);
    return count;
}

const Band* Report::groupBand(BandKind kind, int group) const {
    for (const Band& b : bands)
        if (b.kind == kind && b.group == group) return &b;
    return nullptr;
}

QString bandKindName(BandKind kind) {
    switch (kind) {
    case BandKind::ReportTitle: return QStringLiteral("report-title");
    case BandKind::PageHeader: return QStringLiteral("page-header");
    case BandKind::ColumnHeader: return QStringLiteral("column-header");
    case BandKind::GroupHeader: return QStringLiteral("group-header");
    case BandKind::MasterData: return QStringLiteral("master-data");
    case BandKind::GroupFooter: return QStringLiteral("group-footer");
    case BandKind::PageFooter: return QStringLiteral("page-footer");
    case BandKind::ReportSummary: return QStringLiteral("report-summary");
    }
    return {};
}

}  // namespace reports

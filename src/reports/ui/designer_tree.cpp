#include "reports/ui/designer_tree.h"

#include <algorithm>

namespace reports {
namespace {

constexpr int kBandRole = Qt::UserRole;
constexpr int kObjectRole = Qt::UserRole + 1;

}  // namespace

QString objectCaption(const ReportObject& object) {
    switch (object.kind) {
    case ObjectKind::Text: {
        const QString text = object.text.simplified();
        const bool expression = text.startsWith(u'[') && text.endsWith(u']') && text.count(u'[') == 1;
        return (expression ? QStringLiteral("Campo: ") : QStringLiteral("Testo: ")) + text;
    }
    case ObjectKind::Line: return QStringLiteral("Linea");
    case ObjectKind::Rectangle: return QStringLiteral("Rettangolo");
    case ObjectKind::Barcode: return QStringLiteral("Codice a barre: ") + object.text.simplified();
    }
    return {};
}

DesignerTree::DesignerTree(DesignerDocument& document, QWidget* parent)
    : QTreeWidget(parent), document_(document) {
    setObjectName(QStringLiteral("DesignerTree"));
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(&document_, &DesignerDocument::reportChanged, this, &DesignerTree::rebuild);
    connect(&document_, &DesignerDocument::selectionChanged, this, &DesignerTree::showSelection);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &DesignerTree::takeSelection);
    rebuild();
}

void DesignerTree::rebuild() {
    syncing_ = true;
    clear();
    const Report& r = document_.report();
    for (int band : bandsInPrintOrder(r)) {
        const Band& b = r.bands[size_t(band)];
        auto* item = new QTreeWidgetItem(this, {bandCaption(b)});
        item->setData(0, kBandRole, band);
        item->setData(0, kObjectRole, -1);
        for (int i = 0; i < int(b.objects.size()); ++i) {
            auto* child = new QTreeWidgetItem(item, {objectCaption(b.objects[size_t(i)])});
            child->setData(0, kBandRole, band);
            child->setData(0, kObjectRole, i);
        }
    }
    expandAll();
    syncing_ = false;
    showSelection();
}

void DesignerTree::showSelection() {
    if (syncing_) return;
    syncing_ = true;
    const Selection& s = document_.selection();
    clearSelection();
    QTreeWidgetItem* current = nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* band = topLevelItem(i);
        const int b = band->data(0, kBandRole).toInt();
        if (s.band == b) band->setSelected(true), current = band;
        for (int j = 0; j < band->childCount(); ++j) {
            QTreeWidgetItem* child = band->child(j);
            const ObjectRef ref{b, child->data(0, kObjectRole).toInt()};
            if (std::find(s.objects.begin(), s.objects.end(), ref) == s.objects.end()) continue;
            child->setSelected(true);
            if (!s.objects.empty() && ref == s.objects.front()) current = child;
        }
    }
    if (current) {
        setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
        scrollToItem(current);
    }
    syncing_ = false;
}

void DesignerTree::takeSelection() {
    if (syncing_) return;
    Selection s;
    std::vector<ObjectRef> picked;
    for (QTreeWidgetItem* item : selectedItems()) {
        const int band = item->data(0, kBandRole).toInt(), object = item->data(0, kObjectRole).toInt();
        if (object >= 0) picked.push_back({band, object});
        else if (s.band < 0) s.band = band;
    }
    // Objects already picked keep their order, so the anchor stays the first.
    for (const ObjectRef& ref : document_.selection().objects)
        if (std::find(picked.begin(), picked.end(), ref) != picked.end()) s.objects.push_back(ref);
    for (const ObjectRef& ref : picked)
        if (std::find(s.objects.begin(), s.objects.end(), ref) == s.objects.end()) s.objects.push_back(ref);
    if (!s.objects.empty()) s.band = -1;
    syncing_ = true;
    document_.setSelection(s);
    syncing_ = false;
}

}  // namespace reports

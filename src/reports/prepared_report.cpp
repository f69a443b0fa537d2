#include "reports/prepared_report.h"

#include "reports/expression.h"

#include <QStringList>

namespace reports {

QString PreparedReport::text(int page, const Item& item) const {
    const Page& p = pages[size_t(page)];
    return resolvePageMarks(p.text.mid(item.textStart, item.textLength), page + 1, pageCount());
}

QStringList PreparedReport::pageTexts(int page) const {
    std::vector<const Item*> items;
    for (const Item& i : pages[size_t(page)].items)
        if (i.kind == ItemKind::Text || i.kind == ItemKind::Barcode) items.push_back(&i);
    std::stable_sort(items.begin(), items.end(), [](const Item* a, const Item* b) {
        return a->y != b->y ? a->y < b->y : a->x < b->x;
    });
    QStringList out;
    for (const Item* i : items) out << text(page, *i);
    return out;
}

size_t PreparedReport::memoryUsed() const {
    size_t bytes = sizeof(*this) + styles.capacity() * sizeof(Style);
    for (const Page& p : pages)
        bytes += sizeof(Page) + p.items.capacity() * sizeof(Item) + size_t(p.text.capacity()) * sizeof(QChar);
    return bytes;
}

}  // namespace reports

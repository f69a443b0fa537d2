#include "reports/page_painter.h"

#include "reports/barcode.h"

#include <QFont>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>

namespace reports {

PagePainter::PagePainter(const PreparedReport& report) : report_(report) {}
PagePainter::~PagePainter() = default;

const BarcodeSymbol* PagePainter::symbol(const QString& code) const {
    auto it = symbols_.find(code);
    if (it == symbols_.end()) {
        if (symbols_.size() > 512) symbols_.clear();
        it = symbols_.emplace(code, BarcodeSymbol::make(code)).first;
    }
    return it->second.get();
}

void PagePainter::paint(QPainter& painter, int page, double dotsPerMm, QPointF origin) const {
    const double k = dotsPerMm / kUnitsPerMm;
    auto rect = [&](const Item& i) {
        return QRectF(origin.x() + i.x * k, origin.y() + i.y * k, i.w * k, i.h * k);
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const PageSpec& sheet = report_.page;
    painter.fillRect(QRectF(origin, QSizeF(sheet.sheetWidth() * dotsPerMm, sheet.sheetHeight() * dotsPerMm)), Qt::white);
    // Point sizes are taken against the device's own resolution.
    const double dpi = painter.device() ? painter.device()->logicalDpiY() : 96;
    const double fontScale = dotsPerMm * 25.4 / dpi;
    int currentStyle = -1;
    for (const Item& item : report_.pages[size_t(page)].items) {
        const Style& style = report_.styles[item.style];
        switch (item.kind) {
        case ItemKind::Text: {
            if (currentStyle != item.style) {
                QFont font(style.font.family);
                font.setPointSizeF(style.font.size * fontScale);
                font.setBold(style.font.bold);
                font.setItalic(style.font.italic);
                painter.setFont(font);
                painter.setPen(Qt::black);
                currentStyle = item.style;
            }
            const int h = item.align == Align::Left ? Qt::AlignLeft : item.align == Align::Center ? Qt::AlignHCenter : Qt::AlignRight;
            painter.drawText(rect(item), h | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                             report_.text(page, item));
            break;
        }
        case ItemKind::Line:
        case ItemKind::Rectangle: {
            QPen pen(Qt::black);
            pen.setWidthF(std::max(style.lineWidth * dotsPerMm, 1.0));
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            const QRectF r = rect(item);
            if (item.kind == ItemKind::Line) painter.drawLine(r.topLeft(), r.topLeft() + QPointF(r.width(), r.height()));
            else painter.drawRect(r);
            currentStyle = -1;
            break;
        }
        case ItemKind::Barcode: {
            const QString code = report_.text(page, item);
            if (const BarcodeSymbol* s = symbol(code)) {
                s->paint(painter, rect(item), dotsPerMm);
            } else {
                QFont font(QStringLiteral("DejaVu Sans Mono"));
                font.setPointSizeF(8 * fontScale);
                painter.setFont(font);
                painter.setPen(Qt::black);
                painter.drawText(rect(item), Qt::AlignCenter | Qt::TextSingleLine, code);
            }
            currentStyle = -1;
            break;
        }
        }
    }
    painter.restore();
}

}  // namespace reports

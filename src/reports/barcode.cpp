#include "reports/barcode.h"

#include <zint.h>

#include <QFont>
#include <QPainter>
#include <cmath>

namespace reports {
namespace {

constexpr double kDotMm = 25.4 / 300;       // one dot of a 300 dpi printer
constexpr double kNominalModuleMm = 4 * kDotMm;  // 0.339 mm, nearest to the nominal 0.33 mm

// The module width in millimetres for a symbol `modules` wide in a box `boxMm` wide.
double moduleWidth(double modules, double boxMm) {
    double module = kNominalModuleMm;
    while (module > kDotMm && modules * module > boxMm) module -= kDotMm;
    return modules * module > boxMm ? boxMm / modules : module;
}

}  // namespace

std::unique_ptr<BarcodeSymbol> BarcodeSymbol::make(const QString& issueKey) {
    const qsizetype n = issueKey.size();
    if (n != 8 && n != 13 && n != 15 && n != 18) return nullptr;
    for (QChar c : issueKey)
        if (c < u'0' || c > u'9') return nullptr;
    QByteArray data = issueKey.left(13).toLatin1();
    if (n > 13) data += '+' + issueKey.mid(13).toLatin1();

    struct Deleter {
        void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
    };
    std::unique_ptr<zint_symbol, Deleter> symbol(ZBarcode_Create());
    if (!symbol) return nullptr;
    // The key carries its own check digit; zint verifies it.
    symbol->symbology = BARCODE_EANX_CHK;
    symbol->show_hrt = 1;
    symbol->scale = 0.5f;  // vector coordinates in modules
    const int error = ZBarcode_Encode_and_Buffer_Vector(
        symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()), 0);
    if (error >= ZINT_ERROR || !symbol->vector) return nullptr;

    auto result = std::unique_ptr<BarcodeSymbol>(new BarcodeSymbol);
    const zint_vector& v = *symbol->vector;
    result->size_ = QSizeF(v.width, v.height);
    for (const zint_vector_rect* r = v.rectangles; r; r = r->next)
        result->bars_.push_back({QRectF(r->x, r->y, r->width, r->height)});
    for (const zint_vector_string* s = v.strings; s; s = s->next)
        result->texts_.push_back({QPointF(s->x, s->y), s->fsize, s->halign,
                                  QString::fromUtf8(reinterpret_cast<const char*>(s->text), s->length)});
    return result;
}

void BarcodeSymbol::paint(QPainter& painter, const QRectF& target, double dotsPerMm) const {
    if (size_.isEmpty() || dotsPerMm <= 0) return;
    const double sx = moduleWidth(size_.width(), target.width() / dotsPerMm) * dotsPerMm;
    const double sy = target.height() / size_.height();
    double left = target.left() + (target.width() - size_.width() * sx) / 2;
    // On a printer, bar edges fall on the dots of the 300 dpi grid, so every
    // bar and space of one width comes out equally wide.
    const double gridDots = kDotMm * dotsPerMm;
    if (gridDots >= 1) left = std::round(left / gridDots) * gridDots;

    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (const Bar& b : bars_) {
        painter.drawRect(QRectF(left + b.rect.left() * sx, target.top() + b.rect.top() * sy, b.rect.width() * sx,
                                b.rect.height() * sy));
    }
    painter.setPen(Qt::black);
    QFont font(QStringLiteral("DejaVu Sans"));
    for (const Text& t : texts_) {
        // zint's size is a cap height in modules; digits stay as wide as the modules below them.
        font.setPixelSize(std::max(1, int(t.size * std::min(sx, sy) * 0.9)));
        painter.setFont(font);
        const QPointF base(left + t.position.x() * sx, target.top() + t.position.y() * sy);
        const double width = painter.fontMetrics().horizontalAdvance(t.text);
        const double x = t.align == 1 ? base.x() : t.align == 2 ? base.x() - width : base.x() - width / 2;
        painter.drawText(QPointF(x, base.y()), t.text);
    }
    painter.restore();
}

}  // namespace reports

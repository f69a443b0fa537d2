#include "reports/ui/designer_canvas.h"

#include "reports/barcode.h"
#include "ui/slot_guard.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace reports {
namespace {

constexpr double kMargin = 16;   // pixels of grey around the sheet
constexpr double kCaption = 16;  // pixels of a band's name strip
constexpr double kGap = 3;       // pixels between a band and the next strip
constexpr double kGrip = 4;      // half the side of the resize square, pixels
constexpr int kMergeMove = 1, kMergeResize = 2, kMergeBandHeight = 3;

// A sample symbol, so that a barcode object looks like what it prints.
const BarcodeSymbol* sampleSymbol() {
    static const std::unique_ptr<BarcodeSymbol> symbol = BarcodeSymbol::make(QStringLiteral("9771234567003"));
    return symbol.get();
}

}  // namespace

DesignerCanvas::DesignerCanvas(DesignerDocument& document, QWidget* parent)
    : QWidget(parent), document_(document) {
    setObjectName(QStringLiteral("DesignerCanvas"));
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setMouseTracking(true);
    connect(&document_, &DesignerDocument::reportChanged, this, [this] {
        updateSize();
        update();
    });
    connect(&document_, &DesignerDocument::selectionChanged, this, qOverload<>(&QWidget::update));
    updateSize();
}

void DesignerCanvas::setZoom(int percent) {
    zoom_ = std::clamp(percent, 25, 400);
    updateSize();
    update();
}

void DesignerCanvas::setGrid(double step, bool snap) {
    grid_ = step > 0 ? step : 1;
    snap_ = snap;
    update();
}

void DesignerCanvas::setTool(std::optional<PaletteItem> item) {
    tool_ = item;
    setCursor(item ? Qt::CrossCursor : Qt::ArrowCursor);
}

double DesignerCanvas::pixelsPerMm() const { return logicalDpiX() / 25.4 * zoom_ / 100.0; }

std::vector<DesignerCanvas::BandPlace> DesignerCanvas::layout(const Report& report) const {
    const double k = pixelsPerMm();
    const PageSpec& page = report.page;
    const double left = kMargin + page.left * k;
    const double width = std::max(1.0, (page.sheetWidth() - page.left - page.right) * k);
    double y = kMargin + page.top * k;
    std::vector<BandPlace> places;
    for (int band : bandsInPrintOrder(report)) {
        BandPlace place{band, QRectF(left, y, width, kCaption), {}};
        y += kCaption;
        place.area = QRectF(left, y, width, std::max(2.0, report.bands[size_t(band)].height * k));
        y += place.area.height() + kGap;
        places.push_back(place);
    }
    return places;
}

QRectF DesignerCanvas::sheetRect(const Report& report) const {
    const double k = pixelsPerMm();
    const std::vector<BandPlace> places = layout(report);
    const double used = places.empty() ? 0 : places.back().area.bottom() - kMargin + report.page.bottom * k;
    return QRectF(kMargin, kMargin, report.page.sheetWidth() * k, std::max(report.page.sheetHeight() * k, used));
}

QSize DesignerCanvas::sizeHint() const {
    const QRectF sheet = sheetRect(document_.report());
    return QSize(int(std::ceil(sheet.right() + kMargin)), int(std::ceil(sheet.bottom() + kMargin)));
}

void DesignerCanvas::updateSize() {
    // The scroll area shows the sheet as it is, no wider.
    setMinimumSize(sizeHint());
    resize(sizeHint());
}

QRectF DesignerCanvas::bandArea(int band) const {
    for (const BandPlace& p : layout(shown()))
        if (p.band == band) return p.area;
    return {};
}

QRectF DesignerCanvas::objectRect(const ObjectRef& ref) const {
    const QRectF area = bandArea(ref.band);
    const ReportObject& o = shown().bands.at(size_t(ref.band)).objects.at(size_t(ref.index));
    const double k = pixelsPerMm();
    return QRectF(area.left() + o.x * k, area.top() + o.y * k, o.width * k, o.height * k);
}

int DesignerCanvas::bandAt(QPointF pos) const {
    for (const BandPlace& p : layout(shown()))
        if (p.area.contains(pos) || p.caption.contains(pos)) return p.band;
    return -1;
}

std::optional<ObjectRef> DesignerCanvas::objectAt(QPointF pos) const {
    const Report& r = shown();
    std::optional<ObjectRef> hit;
    for (int band : bandsInPrintOrder(r)) {
        for (int i = 0; i < int(r.bands[size_t(band)].objects.size()); ++i) {
            // Lines and thin frames get a few pixels of grip around them.
            if (objectRect({band, i}).adjusted(-3, -3, 3, 3).contains(pos)) hit = ObjectRef{band, i};
        }
    }
    return hit;
}

QPointF DesignerCanvas::toBand(int band, QPointF pos) const {
    const QRectF area = bandArea(band);
    const double k = pixelsPerMm();
    return {(pos.x() - area.left()) / k, (pos.y() - area.top()) / k};
}

double DesignerCanvas::snap(double mm) const {
    if (snap_) return std::round(mm / grid_) * grid_;
    return std::round(mm * 10) / 10;  // tenths of a millimetre, no more
}

void DesignerCanvas::edit(const QString& text, const std::function<void(Report&, Selection&)>& change,
                          int mergeKey) {
    ui::runGuarded(this, [&] { document_.change(text, change, mergeKey); });
}

// --- painting --------------------------------------------------------------

void DesignerCanvas::paintObject(QPainter& p, const ReportObject& o, const QRectF& r) const {
    p.save();
    switch (o.kind) {
    case ObjectKind::Text: {
        p.setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
        p.drawRect(r);
        QFont font(o.font.family);
        font.setPointSizeF(std::max(1.0, o.font.size * zoom_ / 100.0));
        font.setBold(o.font.bold);
        font.setItalic(o.font.italic);
        p.setFont(font);
        p.setPen(Qt::black);
        const int h = o.align == Align::Left ? Qt::AlignLeft : o.align == Align::Center ? Qt::AlignHCenter : Qt::AlignRight;
        p.setClipRect(r.adjusted(-1, -1, 1, 1));
        p.drawText(r, h | Qt::AlignTop | (o.wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine), o.text);
        break;
    }
    case ObjectKind::Line:
    case ObjectKind::Rectangle: {
        QPen pen(Qt::black);
        pen.setWidthF(std::max(1.0, o.lineWidth * pixelsPerMm()));
        p.setPen(pen);
        if (o.kind == ObjectKind::Line) p.drawLine(r.topLeft(), r.bottomRight());
        else p.drawRect(r);
        break;
    }
    case ObjectKind::Barcode: {
        if (const BarcodeSymbol* s = sampleSymbol()) s->paint(p, r, pixelsPerMm());
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPointSizeF(std::max(1.0, 7.0 * zoom_ / 100.0));
        p.setFont(font);
        p.setPen(QColor(0, 0, 160));
        p.fillRect(QRectF(r.left(), r.top(), r.width(), QFontMetricsF(font).height()), QColor(255, 255, 255, 210));
        p.drawText(r, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, o.text);
        break;
    }
    }
    p.restore();
}

void DesignerCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().dark());
    const Report& r = shown();
    const double k = pixelsPerMm();
    const QRectF sheet = sheetRect(r);
    p.fillRect(sheet, Qt::white);
    // The margins, as a dashed frame.
    p.setPen(QPen(QColor(170, 170, 220), 0, Qt::DashLine));
    p.drawRect(QRectF(sheet.left() + r.page.left * k, sheet.top() + r.page.top * k,
                      (r.page.sheetWidth() - r.page.left - r.page.right) * k,
                      (r.page.sheetHeight() - r.page.top - r.page.bottom) * k));

    const Selection& sel = document_.selection();
    const int current = document_.currentBand();
    for (const BandPlace& place : layout(r)) {
        const Band& band = r.bands[size_t(place.band)];
        const bool chosen = place.band == current;
        p.fillRect(place.caption, chosen ? palette().highlight() : QBrush(QColor(225, 228, 235)));
        p.setPen(chosen ? palette().highlightedText().color() : QColor(60, 60, 60));
        QFont small = font();
        small.setPointSizeF(8);
        p.setFont(small);
        p.drawText(place.caption.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   bandCaption(band));
        // The grid, where its dots stay apart.
        double dot = grid_;
        while (dot * k < 6) dot *= 2;
        p.setPen(QColor(205, 205, 205));
        for (double y = 0; y * k <= place.area.height(); y += dot)
            for (double x = 0; x * k <= place.area.width(); x += dot)
                p.drawPoint(QPointF(place.area.left() + x * k, place.area.top() + y * k));
        p.setPen(QPen(QColor(150, 150, 170), 0, Qt::DotLine));
        p.drawLine(place.area.bottomLeft(), place.area.bottomRight());
        for (int i = 0; i < int(band.objects.size()); ++i) paintObject(p, band.objects[size_t(i)], objectRect({place.band, i}));
    }

    // The selection: a frame around each, the resize square at the corner.
    for (const ObjectRef& ref : sel.objects) {
        if (size_t(ref.band) >= r.bands.size() || size_t(ref.index) >= r.bands[size_t(ref.band)].objects.size()) continue;
        const QRectF o = objectRect(ref).adjusted(-2, -2, 2, 2);
        p.setPen(QPen(palette().highlight().color(), 1, ref == sel.objects.front() ? Qt::SolidLine : Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(o);
        p.fillRect(QRectF(o.right() - kGrip, o.bottom() - kGrip, 2 * kGrip, 2 * kGrip), palette().highlight());
    }
    if (drag_ == Drag::Pick || drag_ == Drag::Place) {
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(pickRect_);
    }
}

// --- mouse -----------------------------------------------------------------

void DesignerCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPointF pos = event->position();
    pressPos_ = pos;
    pressBand_ = bandAt(pos);
    pickRect_ = QRectF(pos, pos);
    if (tool_) {
        drag_ = pressBand_ >= 0 ? Drag::Place : Drag::None;
        return;
    }
    const Selection& sel = document_.selection();
    for (const ObjectRef& ref : sel.objects) {
        const QRectF o = objectRect(ref).adjusted(-2, -2, 2, 2);
        if (QRectF(o.right() - kGrip - 2, o.bottom() - kGrip - 2, 2 * kGrip + 4, 2 * kGrip + 4).contains(pos)) {
            drag_ = Drag::Resize;
            return;
        }
    }
    if (const std::optional<ObjectRef> hit = objectAt(pos)) {
        Selection next = sel;
        const bool adding = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
        const auto found = std::find(next.objects.begin(), next.objects.end(), *hit);
        if (adding && found != next.objects.end()) {
            next.objects.erase(found);
            document_.setSelection(next);
            drag_ = Drag::None;
            return;
        }
        if (found == next.objects.end()) {
            if (!adding) next.objects.clear();
            next.objects.push_back(*hit);
            next.band = -1;
        }
        document_.setSelection(next);
        drag_ = Drag::Move;
        return;
    }
    for (const BandPlace& place : layout(shown())) {
        if (std::abs(pos.y() - place.area.bottom()) <= 3 && pos.x() >= place.area.left() &&
            pos.x() <= place.area.right()) {
            pressBand_ = place.band;
            document_.setSelection(Selection{place.band, {}});
            drag_ = Drag::BandHeight;
            return;
        }
    }
    if (pressBand_ >= 0) {
        document_.setSelection(Selection{pressBand_, {}});
        drag_ = Drag::Pick;
    } else {
        document_.setSelection({});
        drag_ = Drag::None;
    }
}

Report DesignerCanvas::dragged(QPointF pos) const {
    Report r = document_.report();
    const double k = pixelsPerMm();
    const double dx = (pos.x() - pressPos_.x()) / k, dy = (pos.y() - pressPos_.y()) / k;
    const std::vector<ObjectRef>& objects = document_.selection().objects;
    if ((drag_ == Drag::Move || drag_ == Drag::Resize) && !objects.empty()) {
        // The anchor lands on the grid; the others keep their distance to it.
        const ReportObject& a = r.bands[size_t(objects.front().band)].objects[size_t(objects.front().index)];
        if (drag_ == Drag::Move) moveObjects(r, objects, snap(a.x + dx) - a.x, snap(a.y + dy) - a.y);
        else resizeObjects(r, objects, snap(a.x + a.width + dx) - a.x - a.width, snap(a.y + a.height + dy) - a.y - a.height);
    } else if (drag_ == Drag::BandHeight && pressBand_ >= 0) {
        Band& b = r.bands[size_t(pressBand_)];
        b.height = std::max(0.0, snap(b.height + dy));
    }
    return r;
}

void DesignerCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    switch (drag_) {
    case Drag::None:
        if (!tool_) {
            bool onEdge = false;
            for (const BandPlace& place : layout(shown()))
                onEdge = onEdge || (std::abs(pos.y() - place.area.bottom()) <= 3 && pos.x() >= place.area.left() &&
                                    pos.x() <= place.area.right());
            setCursor(onEdge ? Qt::SizeVerCursor : Qt::ArrowCursor);
        }
        return;
    case Drag::Place:
    case Drag::Pick:
        pickRect_ = QRectF(pressPos_, pos).normalized();
        update();
        return;
    default:
        live_ = dragged(pos);
        update();
    }
}

void DesignerCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Drag drag = std::exchange(drag_, Drag::None);
    const QPointF pos = event->position();
    const bool moved = (pos - pressPos_).manhattanLength() > 4;
    switch (drag) {
    case Drag::None: break;
    case Drag::Place: place(pressBand_, pressPos_, pos, moved, *tool_); break;
    case Drag::Pick:
        if (moved) {
            Selection picked;
            for (int band : bandsInPrintOrder(document_.report()))
                for (int i = 0; i < int(document_.report().bands[size_t(band)].objects.size()); ++i)
                    if (objectRect({band, i}).adjusted(-1, -1, 1, 1).intersects(pickRect_))
                        picked.objects.push_back({band, i});
            if (!picked.objects.empty()) document_.setSelection(picked);
        }
        break;
    case Drag::Move:
    case Drag::Resize:
    case Drag::BandHeight: {
        drag_ = drag;
        const Report after = dragged(pos);
        drag_ = Drag::None;
        live_.reset();
        const QString text = drag == Drag::Move     ? QStringLiteral("Sposta")
                             : drag == Drag::Resize ? QStringLiteral("Ridimensiona")
                                                    : QStringLiteral("Altezza della banda");
        edit(text, [&after](Report& r, Selection&) { r = after; });
        break;
    }
    }
    live_.reset();
    update();
}

void DesignerCanvas::place(int band, QPointF from, QPointF to, bool dragged, PaletteItem item) {
    if (band < 0) return;
    const QPointF a = toBand(band, from), b = toBand(band, to);
    ReportObject o = newObject(item, std::max(0.0, snap(std::min(a.x(), dragged ? b.x() : a.x()))),
                               std::max(0.0, snap(std::min(a.y(), dragged ? b.y() : a.y()))));
    if (dragged) {
        o.width = std::max(0.0, snap(std::abs(b.x() - a.x())));
        o.height = std::max(0.0, snap(std::abs(b.y() - a.y())));
        // A line drawn nearly level or upright is meant to be so.
        if (item == PaletteItem::Line && o.height < 2) o.height = 0;
        if (item == PaletteItem::Line && o.width < 2) o.width = 0;
    }
    ObjectRef placed;
    edit(QStringLiteral("Inserisci oggetto"), [&](Report& r, Selection& s) {
        placed = pasteObjects(r, band, {o}).front();
        s = Selection{-1, {placed}};
    });
    setTool(std::nullopt);
    if (placed.band >= 0) emit objectPlaced(placed, item);
}

// --- keys ------------------------------------------------------------------

void DesignerCanvas::arrow(int dx, int dy, bool resize) {
    const Selection& sel = document_.selection();
    if (!sel.objects.empty()) {
        const std::vector<ObjectRef> objects = sel.objects;
        const double s = grid_;
        edit(resize ? QStringLiteral("Ridimensiona") : QStringLiteral("Sposta"),
             [&](Report& r, Selection&) {
                 if (resize) resizeObjects(r, objects, dx * s, dy * s);
                 else moveObjects(r, objects, dx * s, dy * s);
             },
             resize ? kMergeResize : kMergeMove);
    } else if (sel.band >= 0 && resize && dy != 0) {
        const int band = sel.band;
        edit(QStringLiteral("Altezza della banda"),
             [&](Report& r, Selection&) {
                 Band& b = r.bands[size_t(band)];
                 b.height = std::max(0.0, b.height + dy * grid_);
             },
             kMergeBandHeight);
    }
}

void DesignerCanvas::step(bool next) {
    std::vector<ObjectRef> all;
    const Report& r = document_.report();
    for (int band : bandsInPrintOrder(r))
        for (int i = 0; i < int(r.bands[size_t(band)].objects.size()); ++i) all.push_back({band, i});
    if (all.empty()) return;
    const Selection& sel = document_.selection();
    auto at = sel.objects.empty() ? all.end() : std::find(all.begin(), all.end(), sel.objects.front());
    int i = at == all.end() ? (next ? 0 : int(all.size()) - 1) : int(at - all.begin()) + (next ? 1 : -1);
    i = (i + int(all.size())) % int(all.size());
    document_.setSelection(Selection{-1, {all[size_t(i)]}});
}

bool DesignerCanvas::focusNextPrevChild(bool) { return false; }  // Tab steps through the objects

void DesignerCanvas::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Left: arrow(-1, 0, shift); break;
    case Qt::Key_Right: arrow(1, 0, shift); break;
    case Qt::Key_Up: arrow(0, -1, shift); break;
    case Qt::Key_Down: arrow(0, 1, shift); break;
    case Qt::Key_Tab: step(true); break;
    case Qt::Key_Backtab: step(false); break;
    case Qt::Key_Insert:
        if (tool_ && document_.targetBand() >= 0) {
            const QPointF corner = bandArea(document_.targetBand()).topLeft();
            place(document_.targetBand(), corner, corner, false, *tool_);
        }
        break;
    case Qt::Key_Escape:
        if (drag_ != Drag::None) {
            drag_ = Drag::None;
            live_.reset();
            update();
        } else if (tool_) {
            setTool(std::nullopt);
        } else if (!document_.selection().isEmpty()) {
            document_.setSelection({});
        } else {
            event->ignore();
        }
        return;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

// --- fields dropped from the field list ------------------------------------

void DesignerCanvas::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(QLatin1String(kFieldMimeType))) event->acceptProposedAction();
}

void DesignerCanvas::dragMoveEvent(QDragMoveEvent* event) {
    if (bandAt(event->position()) >= 0) event->acceptProposedAction();
    else event->ignore();
}

void DesignerCanvas::dropEvent(QDropEvent* event) {
    const int band = bandAt(event->position());
    if (band < 0) return;
    const QPointF at = toBand(band, event->position());
    ReportObject o = newObject(PaletteItem::Field, std::max(0.0, snap(at.x())), std::max(0.0, snap(at.y())));
    o.text = QString::fromUtf8(event->mimeData()->data(QLatin1String(kFieldMimeType)));
    edit(QStringLiteral("Inserisci campo"), [&](Report& r, Selection& s) { s = Selection{-1, pasteObjects(r, band, {o})}; });
    event->acceptProposedAction();
    setFocus(Qt::OtherFocusReason);
}

}  // namespace reports

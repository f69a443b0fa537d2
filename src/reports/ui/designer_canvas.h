// The page in the designer: the sheet at scale with its margins, the bands
// stacked in the order they print (each under a strip with its name), the
// objects in them as they will print, a grid, and the selection.
//
// Mouse: a click picks an object (Ctrl or Shift adds or takes it away), a
// band or, outside the bands, the page; dragging moves the selection, the
// square at an object's lower right corner resizes it, a band's lower edge
// sets its height, and a drag over empty band space picks what it touches.
// With a palette item chosen, a click places the object at its usual size and
// a drag places it over the dragged rectangle. Fields dragged from the field
// list are dropped as field objects.
//
// Keys: arrows move the selection by one grid step, Shift with arrows resizes
// it (a band alone: Shift+Up/Down sets its height), Tab and Shift+Tab step
// through the objects, Insert places the chosen palette item in the current
// band, Esc drops the palette item or the selection (the window's own keys,
// Del among them, are in designer_window.h). Positions snap to the grid while snapping is on.
#pragma once

#include "reports/designer_document.h"

#include <QWidget>
#include <optional>

namespace reports {

inline constexpr char kFieldMimeType[] = "application/x-tasmero-report-field";

class DesignerCanvas : public QWidget {
    Q_OBJECT
  public:
    explicit DesignerCanvas(DesignerDocument& document, QWidget* parent = nullptr);

    void setZoom(int percent);  // 100: the sheet at its real size on the screen
    int zoom() const { return zoom_; }
    void setGrid(double step, bool snap);
    double gridStep() const { return grid_; }
    bool snapsToGrid() const { return snap_; }

    // The palette item placed by the next click; none for the pointer.
    void setTool(std::optional<PaletteItem> item);
    std::optional<PaletteItem> tool() const { return tool_; }

    // Where things are drawn, in widget pixels (for tests and the window).
    double pixelsPerMm() const;
    QRectF bandArea(int band) const;
    QRectF objectRect(const ObjectRef& ref) const;

    QSize sizeHint() const override;

  signals:
    // An object was placed with the palette; the palette goes back to the pointer.
    void objectPlaced(const reports::ObjectRef& ref, reports::PaletteItem item);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    struct BandPlace {
        int band;
        QRectF caption;  // the strip with the band's name
        QRectF area;     // the band itself
    };
    enum class Drag { None, Move, Resize, BandHeight, Place, Pick };

    const Report& shown() const { return live_ ? *live_ : document_.report(); }
    std::vector<BandPlace> layout(const Report& report) const;
    QRectF sheetRect(const Report& report) const;
    int bandAt(QPointF pos) const;  // -1 outside every band area
    std::optional<ObjectRef> objectAt(QPointF pos) const;
    QPointF toBand(int band, QPointF pos) const;  // millimetres from the band's corner
    double snap(double mm) const;
    void paintObject(QPainter& p, const ReportObject& o, const QRectF& r) const;
    void updateSize();

    // Runs `edit` as one step; an error goes to the error box.
    void edit(const QString& text, const std::function<void(Report&, Selection&)>& change, int mergeKey = 0);
    void place(int band, QPointF from, QPointF to, bool dragged, PaletteItem item);
    void arrow(int dx, int dy, bool resize);
    void step(bool next);
    Report dragged(QPointF pos) const;

    DesignerDocument& document_;
    int zoom_ = 100;
    double grid_ = 1;
    bool snap_ = true;
    std::optional<PaletteItem> tool_;

    Drag drag_ = Drag::None;
    QPointF pressPos_;
    int pressBand_ = -1;
    std::optional<Report> live_;  // the model as the drag in progress leaves it
    QRectF pickRect_;
};

}  // namespace reports

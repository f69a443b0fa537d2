// EAN barcodes of issue keys, drawn with zint as vectors so they print sharp
// at any resolution.
//
// An issue key of 8 digits is an EAN-8 code, of 13 an EAN-13 code, of 15 or
// 18 an EAN-13 code with its 2- or 5-digit add-on. Anything else (a wrong
// length, a letter, a wrong check digit) gives no symbol: the caller prints
// the key as text instead, so a label is never silently blank.
#pragma once

#include <QRectF>
#include <QString>
#include <memory>
#include <vector>

class QPainter;

namespace reports {

class BarcodeSymbol {
  public:
    struct Bar {
        QRectF rect;
    };
    struct Text {
        QPointF position;  // baseline, horizontally aligned as `align` says
        double size;
        int align;  // 0 centre, 1 left, 2 right
        QString text;
    };

    // nullptr when the key does not make an EAN symbol.
    static std::unique_ptr<BarcodeSymbol> make(const QString& issueKey);

    // Draws the symbol scaled to `target` (in the painter's coordinates).
    void paint(QPainter& painter, const QRectF& target) const;

    QSizeF size() const { return size_; }

  private:
    QSizeF size_;
    std::vector<Bar> bars_;
    std::vector<Text> texts_;
};

}  // namespace reports

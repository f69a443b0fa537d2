// EAN barcodes of issue keys, drawn with zint as vectors so they print sharp
// at any resolution.
//
// Every symbol of a sheet is drawn with the same module (narrowest bar)
// width, whatever the key's length, so that a scanner sees labels alike: the
// nominal 0.33 mm of the EAN rules, taken as 4/300 inch (0.339 mm) so that
// every bar is a whole number of dots on a 300, 600 or 1200 dpi printer.
// A box too narrow for that gets the widest whole-dot module that fits. The
// symbol keeps the quiet zones and the add-on gap zint lays out (11 modules
// before an EAN-13, 7 after it or before its add-on, 5 after the add-on) and
// is centred in its box; its height fills the box.
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

    // Draws the symbol into `target`, in the coordinates of a painter that
    // has `dotsPerMm` device pixels to the millimetre.
    void paint(QPainter& painter, const QRectF& target, double dotsPerMm) const;

    QSizeF size() const { return size_; }  // in modules, quiet zones and digits included

  private:
    QSizeF size_;
    std::vector<Bar> bars_;
    std::vector<Text> texts_;
};

}  // namespace reports

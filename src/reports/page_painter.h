// Draws prepared pages with a QPainter: on screen, on a printer, into a PDF
// or an image. Text is drawn as text, lines and barcodes as vectors.
#pragma once

#include "reports/prepared_report.h"

#include <QPointF>
#include <map>
#include <memory>

class QPainter;

namespace reports {

class BarcodeSymbol;

class PagePainter {
  public:
    explicit PagePainter(const PreparedReport& report);
    ~PagePainter();

    // Draws `page` (0-based) with its top-left corner at `origin`, at
    // `dotsPerMm` device pixels per millimetre; the sheet is painted white.
    void paint(QPainter& painter, int page, double dotsPerMm, QPointF origin = {}) const;

  private:
    const BarcodeSymbol* symbol(const QString& code) const;

    const PreparedReport& report_;
    mutable std::map<QString, std::unique_ptr<BarcodeSymbol>> symbols_;
};

}  // namespace reports

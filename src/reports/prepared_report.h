// A prepared report: its pages as compact display lists.
//
// A page is a list of small fixed-size items (text lines, lines, rectangles,
// barcodes) with positions in tenths of a millimetre and their text in one
// string per page, so a list of thousands of pages holds no page images and
// little more than its text. Every renderer and export draws from here.
#pragma once

#include "reports/report_model.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace reports {

enum class ItemKind : uint8_t { Text, Line, Rectangle, Barcode };

struct Style {
    FontSpec font;
    double lineWidth = 0.2;  // mm
    bool operator==(const Style&) const = default;
};

struct Item {
    ItemKind kind = ItemKind::Text;
    Align align = Align::Left;
    uint16_t style = 0;
    // Tenths of a millimetre from the sheet's top-left corner. A line runs
    // from (x, y) to (x + w, y + h).
    int16_t x = 0, y = 0, w = 0, h = 0;
    uint32_t textStart = 0;
    uint16_t textLength = 0;
};

struct Page {
    std::vector<Item> items;
    QString text;  // the items' texts one after the other
};

class PreparedReport {
  public:
    PageSpec page;
    QString title;
    std::vector<Style> styles;
    std::vector<Page> pages;

    int pageCount() const { return int(pages.size()); }
    // The item's text as printed: page number and count filled in.
    QString text(int page, const Item& item) const;
    // Every text of a page, top to bottom, left to right (for searches and tests).
    QStringList pageTexts(int page) const;
    size_t memoryUsed() const;
};

inline constexpr double kUnitsPerMm = 10;

}  // namespace reports

#include "reports/report_exports.h"

#include "platform/error.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace reports {
namespace {

int twips(double units) { return int(std::lround(units / kUnitsPerMm * 1440.0 / 25.4)); }

QByteArray escape(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u >= 32 && u < 127) {
            out += char(u);
        } else {
            // RTF spells a Unicode character as a signed 16-bit number, then a fallback.
            out += "\\u" + QByteArray::number(int(int16_t(u))) + "?";
        }
    }
    return out;
}

}  // namespace

QByteArray rtfExport(const PreparedReport& report) {
    const PageSpec& page = report.page;
    std::vector<QString> fonts;
    for (const Style& s : report.styles)
        if (std::find(fonts.begin(), fonts.end(), s.font.family) == fonts.end()) fonts.push_back(s.font.family);
    if (fonts.empty()) fonts.push_back(QStringLiteral("DejaVu Sans"));
    auto fontIndex = [&](const QString& family) {
        return int(std::find(fonts.begin(), fonts.end(), family) - fonts.begin());
    };

    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (size_t i = 0; i < fonts.size(); ++i)
        rtf += "{\\f" + QByteArray::number(qsizetype(i)) + "\\fswiss " + escape(fonts[i]) + ";}";
    rtf += "}\n";
    rtf += "{\\info{\\title " + escape(report.title) + "}}\n";
    rtf += "\\paperw" + QByteArray::number(twips(page.sheetWidth() * kUnitsPerMm)) + "\\paperh" +
           QByteArray::number(twips(page.sheetHeight() * kUnitsPerMm));
    if (page.landscape) rtf += "\\landscape";
    rtf += "\\margl" + QByteArray::number(twips(page.left * kUnitsPerMm)) + "\\margr" +
           QByteArray::number(twips(page.right * kUnitsPerMm)) + "\\margt" +
           QByteArray::number(twips(page.top * kUnitsPerMm)) + "\\margb" +
           QByteArray::number(twips(page.bottom * kUnitsPerMm)) + "\n";

    const int left = int(page.left * kUnitsPerMm);
    for (int p = 0; p < report.pageCount(); ++p) {
        if (p > 0) rtf += "\\page\n";
        // Horizontal rules, top to bottom: each is drawn as the border of an
        // empty paragraph one twip high, since a word processor merges the
        // borders of neighbouring paragraphs that carry the same border.
        std::vector<const Item*> rules;
        for (const Item& i : report.pages[size_t(p)].items)
            if (i.kind == ItemKind::Line && i.h == 0 && i.w > 0) rules.push_back(&i);
        std::stable_sort(rules.begin(), rules.end(), [](const Item* a, const Item* b) { return a->y < b->y; });
        auto rule = rules.begin();

        // Vertical places in twips from the top margin. `bottom` is where the
        // word processor ends the previous line: a line that starts above it
        // (the second line of a wrapped text beside a taller one) is pushed
        // down, and the space before the next line takes the shift back.
        const int top = twips(page.top * kUnitsPerMm);
        int bottom = 0;
        for (const auto& line : printedLines(report.pages[size_t(p)])) {
            const Item& first = *line.front();
            int lineHeight = 0;
            for (const Item* i : line) lineHeight = std::max<int>(lineHeight, i->h);
            const int y = twips(first.y) - top;
            for (; rule != rules.end() && (*rule)->y <= first.y; ++rule) {
                const int ruleY = std::max(bottom, twips((*rule)->y) - top);
                const int width = std::max(1, twips(report.styles[(*rule)->style].lineWidth * kUnitsPerMm));
                rtf += "\\pard\\plain\\sb" + QByteArray::number(ruleY - bottom) + "\\sa0\\sl-1\\brdrt\\brdrs\\brdrw" +
                       QByteArray::number(width) + "\\brsp0\\fs2\\par\n";
                bottom = ruleY + width + 1;
            }
            rtf += "\\pard\\plain\\sb" + QByteArray::number(std::max(0, y - bottom));
            bottom = std::max(y, bottom) + twips(lineHeight);
            rtf += "\\sa0\\sl-" + QByteArray::number(twips(lineHeight));
            // One tab stop for each text, where the text stands.
            int lastStop = 0;
            for (const Item* i : line) {
                int stop = 0;
                QByteArray kind;
                switch (i->align) {
                case Align::Left: stop = twips(i->x - left); break;
                case Align::Center: stop = twips(i->x + i->w / 2 - left), kind = "\\tqc"; break;
                case Align::Right: stop = twips(i->x + i->w - left), kind = "\\tqr"; break;
                }
                stop = std::max(stop, lastStop + 1);
                lastStop = stop;
                rtf += kind + "\\tx" + QByteArray::number(stop);
            }
            rtf += ' ';
            for (const Item* i : line) {
                const Style& s = report.styles[i->style];
                rtf += "\\tab{\\f" + QByteArray::number(fontIndex(s.font.family)) + "\\fs" +
                       QByteArray::number(int(std::lround(s.font.size * 2)));
                if (s.font.bold) rtf += "\\b";
                if (s.font.italic) rtf += "\\i";
                rtf += ' ' + escape(report.text(p, *i)) + '}';
            }
            rtf += "\\par\n";
        }
    }
    rtf += "}\n";
    return rtf;
}

void exportRtf(const PreparedReport& report, const QString& path) {
    const QByteArray bytes = rtfExport(report);
    writeReportFile(path, bytes);
}

}  // namespace reports

#include "reports/report_exports.h"

#include "platform/error.h"

#include <QSaveFile>
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
        int previousBottom = int(page.top * kUnitsPerMm);
        for (const auto& line : printedLines(report.pages[size_t(p)])) {
            const Item& first = *line.front();
            int lineHeight = 0;
            for (const Item* i : line) lineHeight = std::max<int>(lineHeight, i->h);
            // Keep the vertical place of the line with the space before it.
            const int before = std::max(0, first.y - previousBottom);
            previousBottom = first.y + lineHeight;
            rtf += "\\pard\\plain\\sb" + QByteArray::number(twips(before)) + "\\sa0\\sl-" +
                   QByteArray::number(twips(lineHeight));
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
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw platform::FileError(QStringLiteral("Cannot write file %1. %2").arg(path, f.errorString()));
}

}  // namespace reports

#include "reports/report_exports.h"

#include "platform/cp1252.h"
#include "platform/error.h"
#include "platform/file.h"

#include <algorithm>

namespace reports {
namespace {

constexpr int kColumnUnits = 20;     // 2 mm a character
constexpr int kSameLineUnits = 15;   // texts less than 1.5 mm apart share a line

}  // namespace

void writeReportFile(const QString& path, const QByteArray& bytes) {
    try {
        platform::writeFile(path, bytes);
    } catch (const platform::FileError& error) {
        throw platform::FileError(QStringLiteral("Cannot write file %1. %2")
                                      .arg(path, platform::systemMessage(error.systemError())));
    }
}

std::vector<std::vector<const Item*>> printedLines(const Page& page) {
    std::vector<const Item*> texts;
    for (const Item& i : page.items)
        if (i.kind == ItemKind::Text && i.textLength > 0) texts.push_back(&i);
    std::stable_sort(texts.begin(), texts.end(), [](const Item* a, const Item* b) { return a->y < b->y; });
    std::vector<std::vector<const Item*>> lines;
    int lineY = 0;
    for (const Item* i : texts) {
        if (lines.empty() || i->y - lineY >= kSameLineUnits) {
            lines.emplace_back();
            lineY = i->y;
        }
        lines.back().push_back(i);
    }
    for (auto& line : lines)
        std::stable_sort(line.begin(), line.end(), [](const Item* a, const Item* b) { return a->x < b->x; });
    return lines;
}

QString textExport(const PreparedReport& report) {
    QString out;
    const int left = int(report.page.left * kUnitsPerMm);
    for (int p = 0; p < report.pageCount(); ++p) {
        if (p > 0) out += u'\f';
        for (const auto& line : printedLines(report.pages[size_t(p)])) {
            QString row;
            for (const Item* i : line) {
                const QString text = report.text(p, *i);
                const qsizetype width = text.size();
                qsizetype column = 0;
                switch (i->align) {
                case Align::Left: column = (i->x - left) / kColumnUnits; break;
                case Align::Right: column = (i->x + i->w - left) / kColumnUnits - width; break;
                case Align::Center: column = (i->x + i->w / 2 - left) / kColumnUnits - width / 2; break;
                }
                // Texts never run into each other: one blank at least between them.
                const qsizetype earliest = row.isEmpty() ? 0 : row.size() + 1;
                column = std::max(column, earliest);
                row += QString(column - row.size(), u' ');
                row += text;
            }
            while (row.endsWith(u' ')) row.chop(1);
            out += row;
            out += u'\n';
        }
    }
    return out;
}

void exportText(const PreparedReport& report, const QString& path) {
    QString text = textExport(report);
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    // Characters the code page lacks print as "?", as a printer without them would.
    QString storable;
    storable.reserve(text.size());
    for (QChar c : text) storable += platform::cp1252::toByte(c) ? c : u'?';
    writeReportFile(path, platform::cp1252::encode(storable));
}

}  // namespace reports

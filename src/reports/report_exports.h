// The exports of a prepared report: PDF (text stays text), RTF for a word
// processor, and plain text laid out in columns.
#pragma once

#include "reports/prepared_report.h"

#include <QString>
#include <functional>

namespace reports {

// Called after each page with the number of pages done; false stops the work.
using PageProgress = std::function<bool(int pagesDone)>;

// Raises platform::FileError when the file cannot be written; a stopped
// export leaves no file behind.
void exportPdf(const PreparedReport& report, const QString& path, const PageProgress& progress = {});

// One line of text per printed line, each text at the column of its place on
// the sheet (2 mm a column), pages separated by a form feed. Lines end with
// "\n" here and with "\r\n" in the file, which is written in Windows-1252.
QString textExport(const PreparedReport& report);
void exportText(const PreparedReport& report, const QString& path);

// RTF: the paper size and margins of the report, each printed line a
// paragraph at its height on the sheet with tab stops where its texts stand,
// fonts and sizes as printed, horizontal rules as paragraph borders, a page
// break between pages.
QByteArray rtfExport(const PreparedReport& report);
void exportRtf(const PreparedReport& report, const QString& path);

// Writes a report file whole (see platform::writeFile); raises
// platform::FileError "Cannot write file <path>. <the system's words>".
void writeReportFile(const QString& path, const QByteArray& bytes);

// The page's printed lines: its text items grouped by height on the sheet,
// each line left to right (shared by the text and RTF exports).
std::vector<std::vector<const Item*>> printedLines(const Page& page);

}  // namespace reports

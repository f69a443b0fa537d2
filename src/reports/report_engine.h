// Preparation: runs a template over its master dataset and lays out the
// pages.
//
// The dataset is read once, from its first record to its last, in its current
// state. Bands never split across pages: a band that does not fit below what
// is already on a page starts the next one. Word-wrapped texts make their band
// grow; a group whose header asks to keep it together starts on a new page
// when it would otherwise be split and fits on one. Texts are measured with
// the fonts they print with, so a QGuiApplication must exist.
//
// Errors (a dataset the data module does not have, a field that the dataset
// lacks, an expression that does not compute) raise ReportError.
#pragma once

#include "reports/prepared_report.h"
#include "reports/report_dataset.h"

#include <functional>

namespace reports {

struct PrepareOptions {
    QString title;  // the report component's title, kept with the pages
    // Called now and then with the number of records read so far.
    std::function<void(long long records)> progress;
};

PreparedReport prepareReport(const Report& report, const DatasetResolver& datasets,
                             const PrepareOptions& options = {});

// Word wrap as preparation does it: the lines of `text` in `font` that fit in
// `width` millimetres; explicit line breaks always break.
QStringList wrapText(const QString& text, const FontSpec& font, double width, bool wrap);
double lineHeight(const FontSpec& font);  // millimetres

}  // namespace reports

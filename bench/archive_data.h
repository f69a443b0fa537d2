// A large archive for the benchmarks: magazines, stock and journal records in
// the program's own table files, written straight into the .dbf files (the
// engine rebuilds the production indexes when it first opens them), and the
// same rows in a native SQLite database for comparison.
#pragma once

#include <QString>

namespace bench {

struct ArchiveSize {
    int magazines = 10000;
    int issues = 100000;
    int movements = 1000000;
    int journalDays = 700;  // the movements spread evenly from 1 January 2025
};

// Writes Riviste3, Giacenza3 and Giornale3 into `folder` (replacing them) and
// opens each once so its index is built. Deterministic for a given size.
void writeArchive(const QString& folder, const ArchiveSize& size);

// Writes the same rows into a native SQLite file with the same indexes.
void writeNativeCopy(const QString& folder, const QString& sqlitePath);

// The magazine barcode and an issue key that exist in the archive.
QString sampleBarcode(int magazine);
QString sampleIssueKey(int issue, const ArchiveSize& size);

}  // namespace bench

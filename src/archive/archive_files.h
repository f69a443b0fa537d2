// The archive's table files in a working folder: their paths, and creating
// the empty tables with their production indexes for a new installation.
#pragma once

#include "archive/schema.h"

#include <QString>

namespace archive {

// Path of a table file in `folder`, found without regard to case when it
// exists (files copied from other systems keep their own case), else with the
// name the table is created with.
QString tablePath(const QString& folder, const TableSpec& table);

// Creates the table with its fields and production index tags. Refuses to
// replace an existing file.
void createTable(const QString& folder, const TableSpec& table);

// Creates whichever of the three tables is missing; returns how many it made.
int createMissingTables(const QString& folder);

}  // namespace archive

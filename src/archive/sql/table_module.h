// The SQLite module "dbase": a virtual table over one engine table, named by
// its file path. sql::Database registers it on its connection.
#pragma once

#include <sqlite3.h>

namespace sql {

const sqlite3_module& tableModule();

}  // namespace sql

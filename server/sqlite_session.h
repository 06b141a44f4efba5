// The report database in one SQLite file (write-ahead log, every commit synced).
#pragma once

#include "server/sql_session.h"

// Opens (and creates) the database file; throws Sql_Error naming the file and the reason.
std::unique_ptr<Sql_Session> Open_Sqlite_Session(const std::string& path);

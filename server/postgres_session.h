// The report database on a PostgreSQL server (libpq), for several server processes sharing
// one database.
#pragma once

#include "server/sql_session.h"

// Connects with a "postgresql://..." address; throws Sql_Error with the server's reason.
std::unique_ptr<Sql_Session> Open_Postgres_Session(const std::string& address);

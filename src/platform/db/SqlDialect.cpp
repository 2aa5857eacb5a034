#include "platform/db/SqlDialect.h"

#include "platform/db/PostgresDialect.h"
#include "platform/db/SqliteDialect.h"

namespace zentaro {

const SqlDialect &SqlDialect::of(Engine engine)
{
    static const SqliteDialect sqlite;
    static const PostgresDialect postgres;
    switch (engine) {
    case Engine::Sqlite:
        return sqlite;
    case Engine::Postgres:
        return postgres;
    }
    return sqlite;
}

std::unique_ptr<SqlDialect> SqlDialect::create(Engine engine)
{
    switch (engine) {
    case Engine::Sqlite:
        return std::make_unique<SqliteDialect>();
    case Engine::Postgres:
        return std::make_unique<PostgresDialect>();
    }
    return std::make_unique<SqliteDialect>();
}

} // namespace zentaro

// LIKE on PostgreSQL with the meaning it has on every connection of the host library:
// bracket classes, ASCII letters ignoring case, no escape character. The operators live in
// the schema "corlith", which each connection puts ahead of pg_catalog in its search_path.
#pragma once

namespace corlith::db {

inline constexpr const char* kLikeSchema = "corlith";

// Creates (or replaces) the schema, its functions and the LIKE / NOT LIKE operators on text.
// Each pattern is turned into an anchored regular expression once per statement.
extern const char* const kLikeObjectsSql;
// One row, true when the objects are there in the version kLikeObjectsSql creates (a seat
// whose role may not create them still runs init-db against a prepared database).
extern const char* const kLikeObjectsCurrentSql;

}  // namespace corlith::db

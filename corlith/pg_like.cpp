#include "pg_like.h"

namespace corlith::db {

// Mirrors the pattern compiler of like_match.cpp rule for rule; the shared cases in the tests
// run against both. A change here needs a new version in the comment at the end and in
// kLikeObjectsCurrentSql, or databases that have the old objects keep them.
const char* const kLikeObjectsSql = R"sql(
CREATE SCHEMA IF NOT EXISTS corlith;
GRANT USAGE ON SCHEMA corlith TO PUBLIC;
CREATE OR REPLACE FUNCTION corlith.like_point(c integer) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$ SELECT '\U' || lpad(to_hex(c), 8, '0') $f$;
CREATE OR REPLACE FUNCTION corlith.like_range(lo integer, hi integer) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
  SELECT CASE WHEN lo = hi THEN corlith.like_point(lo)
              ELSE corlith.like_point(lo) || '-' || corlith.like_point(hi) END $f$;
CREATE OR REPLACE FUNCTION corlith.like_regex(pattern text) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $f$
DECLARE
  ch text[] := string_to_array(pattern, NULL);
  n integer := coalesce(array_length(ch, 1), 0);
  re text := '^';
  i integer := 1;
  k integer; s integer; cl integer; lo integer; hi integer; a integer; b integer;
  neg boolean;
  members text;
BEGIN
  WHILE i <= n LOOP
    IF ch[i] = '%' THEN
      re := re || '.*';
    ELSIF ch[i] = '_' THEN
      re := re || '.';
    ELSIF ch[i] = '[' AND i + 2 <= n AND ch[i + 1] = '^' AND ch[i + 2] = ']' THEN
      re := re || corlith.like_point(94);
      i := i + 2;
    ELSIF ch[i] = '[' THEN
      s := i + 1;
      neg := s <= n AND ch[s] = '^';
      IF neg THEN s := s + 1; END IF;
      cl := CASE WHEN s <= n AND ch[s] = ']' THEN s + 1 ELSE s END;
      WHILE cl <= n AND ch[cl] <> ']' LOOP cl := cl + 1; END LOOP;
      IF cl > n OR cl = s THEN
        re := re || corlith.like_point(91);
      ELSE
        members := '';
        k := s;
        WHILE k < cl LOOP
          lo := ascii(ch[k]);
          IF k + 2 < cl AND ch[k + 1] = '-' THEN
            hi := ascii(ch[k + 2]);
            k := k + 3;
          ELSE
            hi := lo;
            k := k + 1;
          END IF;
          IF lo <= hi THEN
            members := members || corlith.like_range(lo, hi);
            a := greatest(lo, 97); b := least(hi, 122);
            IF a <= b THEN members := members || corlith.like_range(a - 32, b - 32); END IF;
            a := greatest(lo, 65); b := least(hi, 90);
            IF a <= b THEN members := members || corlith.like_range(a + 32, b + 32); END IF;
          END IF;
        END LOOP;
        IF members = '' THEN
          re := re || CASE WHEN neg THEN '.' ELSE '[^\s\S]' END;
        ELSE
          re := re || '[' || CASE WHEN neg THEN '^' ELSE '' END || members || ']';
        END IF;
        i := cl;
      END IF;
    ELSE
      k := ascii(ch[i]);
      IF k BETWEEN 65 AND 90 OR k BETWEEN 97 AND 122 THEN
        re := re || '[' || lower(ch[i]) || upper(ch[i]) || ']';
      ELSIF k BETWEEN 48 AND 57 THEN
        re := re || ch[i];
      ELSE
        re := re || corlith.like_point(k);
      END IF;
    END IF;
    i := i + 1;
  END LOOP;
  RETURN re || '$';
END
$f$;
CREATE OR REPLACE FUNCTION corlith.like(t text, p text) RETURNS boolean
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$ SELECT t ~ corlith.like_regex(p) $f$;
CREATE OR REPLACE FUNCTION corlith.not_like(t text, p text) RETURNS boolean
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$ SELECT t !~ corlith.like_regex(p) $f$;
DO $d$ BEGIN
  IF to_regoperator('corlith.~~(text,text)') IS NULL THEN
    CREATE OPERATOR corlith.~~ (LEFTARG = text, RIGHTARG = text, FUNCTION = corlith.like);
  END IF;
  IF to_regoperator('corlith.!~~(text,text)') IS NULL THEN
    CREATE OPERATOR corlith.!~~ (LEFTARG = text, RIGHTARG = text, FUNCTION = corlith.not_like);
  END IF;
END $d$;
COMMENT ON FUNCTION corlith.like_regex(text) IS 'corlith like 1';
)sql";

const char* const kLikeObjectsCurrentSql =
    "SELECT to_regoperator('corlith.!~~(text,text)') IS NOT NULL AND "
    "coalesce(obj_description(to_regprocedure('corlith.like_regex(text)'), 'pg_proc'), '') = 'corlith like 1'";

}  // namespace corlith::db

-- The school server's tables for the typing course, and the one way a classroom login adds a run.
-- Run in one transaction by the role that owns the tables (a program that may, or tools/classroom-setup).
-- Safe to run again; it brings the tables of an earlier version up to this one. The programs check the
-- columns and types made here against their own list (Schema.cpp) and refuse any other shape.
SELECT pg_advisory_xact_lock(4711);
CREATE EXTENSION IF NOT EXISTS citext;

CREATE TABLE IF NOT EXISTS t_key (y4mmdd date, tavrel smallint, round smallint, rem citext, cond1 citext,
  cond2 citext, "time" double precision, result1 double precision, result2 double precision,
  result3 double precision, result4 double precision, result5 double precision, err1 citext, err2 citext,
  err3 citext, learner citext, runid uuid NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS t_digit (y4mmdd date, pelvoran smallint, round smallint, rem citext,
  cond1 citext, cond2 citext, "time" double precision, result1 double precision, result2 double precision,
  result3 double precision, result4 double precision, result5 double precision, err1 citext,
  learner citext, runid uuid NOT NULL UNIQUE);
-- Version 4: when a run finished and which run id it conflicts with; when and from where it arrived.
ALTER TABLE t_key ADD COLUMN IF NOT EXISTS finished timestamptz, ADD COLUMN IF NOT EXISTS conflict uuid,
  ADD COLUMN IF NOT EXISTS received timestamptz, ADD COLUMN IF NOT EXISTS sent_from text;
ALTER TABLE t_digit ADD COLUMN IF NOT EXISTS finished timestamptz, ADD COLUMN IF NOT EXISTS conflict uuid,
  ADD COLUMN IF NOT EXISTS received timestamptz, ADD COLUMN IF NOT EXISTS sent_from text;
CREATE INDEX IF NOT EXISTS ix_t_key_learner ON t_key (learner, tavrel, y4mmdd);
CREATE INDEX IF NOT EXISTS ix_t_key_drill ON t_key (tavrel, y4mmdd);
CREATE INDEX IF NOT EXISTS ix_t_digit_learner ON t_digit (learner, pelvoran, y4mmdd);
CREATE INDEX IF NOT EXISTS ix_t_digit_drill ON t_digit (pelvoran, y4mmdd);
CREATE TABLE IF NOT EXISTS learners (name citext PRIMARY KEY, class citext, number integer, furigana citext);
-- Version 3: a registered learner's attendance number and reading, from the roster.
ALTER TABLE learners ADD COLUMN IF NOT EXISTS number integer, ADD COLUMN IF NOT EXISTS furigana citext;
CREATE TABLE IF NOT EXISTS halvor_schema (version integer NOT NULL);
-- Version 5: one row per unit (a kana or kana pair, a key) a run practised, with the run's id, learner, day
-- and drill; added only with its run, by the function below.
CREATE TABLE IF NOT EXISTS t_unit (runid uuid NOT NULL, learner citext, y4mmdd date, drill smallint,
  unit text NOT NULL, attempts integer, misses integer, meanms integer, wrongkey text, UNIQUE (runid, unit));
CREATE INDEX IF NOT EXISTS ix_t_unit_learner ON t_unit (learner, drill, y4mmdd);

-- Adds one run, checked, and says what became of it:
--   'new'        stored, and the learner's runs of that drill (and course) on that day numbered 1..n in the
--                order they finished;
--   'same'       a run with this id is there already with the same content (a run sent twice);
--   'different'  a run with this id is there with other content: nothing is changed, and the sender sends
--                its run again under a new id, naming the old one in "conflict" (both rows are then marked);
--   'refused: …' the run is not one the drills can produce, or its learner is not on the class list.
-- p_run holds the run's columns by their names on the server; received, sent_from and round are the
-- server's own. p_children carries rows that belong to the run (one array per child table, by table name),
-- checked with the run and stored in the same transaction: "t_unit", objects of unit, attempts, misses,
-- meanms and wrongkey (the run's id, learner, day and drill are the run's).
CREATE OR REPLACE FUNCTION halvor_add_run(p_table text, p_run jsonb, p_children jsonb DEFAULT '{}')
RETURNS text LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $fn$
DECLARE
  v_drill_column text;
  v_drills integer[];
  v_id uuid;
  v_learner text;
  v_day date;
  v_drill integer;
  v_course text;
  v_finished timestamptz;
  v_conflict uuid;
  v_unknown text;
  v_name text;
  v_low double precision;
  v_high double precision;
  v_number double precision;
  v_old jsonb;
  v_new jsonb;
  v_scope text;
  v_read text;
  v_units jsonb;
BEGIN
  IF p_table = 't_key' THEN
    v_drill_column := 'tavrel';
    v_drills := ARRAY[11, 12, 23];
  ELSIF p_table = 't_digit' THEN
    v_drill_column := 'pelvoran';
    v_drills := ARRAY[12];
  ELSE
    RETURN 'refused: no such table';
  END IF;
  IF jsonb_typeof(p_run) IS DISTINCT FROM 'object' THEN
    RETURN 'refused: the run is not an object';
  END IF;
  IF p_children IS NOT NULL AND (jsonb_typeof(p_children) <> 'object' OR
     EXISTS (SELECT FROM jsonb_object_keys(p_children) k WHERE k <> 't_unit')) THEN
    RETURN 'refused: rows of a kind this server does not know';
  END IF;
  v_units := COALESCE(p_children->'t_unit', '[]'::jsonb);
  IF jsonb_typeof(v_units) <> 'array' OR jsonb_array_length(v_units) > 400 THEN
    RETURN 'refused: the units are not a list of at most 400';
  END IF;
  IF EXISTS (SELECT FROM jsonb_array_elements(v_units) u WHERE jsonb_typeof(u) <> 'object' OR EXISTS
               (SELECT FROM jsonb_object_keys(u) k
                WHERE k NOT IN ('unit', 'attempts', 'misses', 'meanms', 'wrongkey'))) THEN
    RETURN 'refused: units with unknown fields';
  END IF;
  SELECT string_agg(k, ', ') INTO v_unknown FROM jsonb_object_keys(p_run) k
    WHERE k NOT IN (SELECT attname FROM pg_attribute
                    WHERE attrelid = p_table::regclass AND attnum > 0 AND NOT attisdropped)
       OR k IN ('received', 'sent_from');
  IF v_unknown IS NOT NULL THEN
    RETURN 'refused: unknown fields ' || v_unknown;
  END IF;

  BEGIN
    v_id := (p_run->>'runid')::uuid;
    v_learner := p_run->>'learner';
    v_day := (p_run->>'y4mmdd')::date;
    v_drill := (p_run->>v_drill_column)::integer;
    v_course := CASE WHEN p_table = 't_key' THEN p_run->>'cond1' END;
    v_finished := (p_run->>'finished')::timestamptz;
    v_conflict := (p_run->>'conflict')::uuid;
    PERFORM (p_run->>'round')::smallint;
    -- Every number within what the drills can produce (NaN and infinities are outside every range); the
    -- hiragana drill's clock runs to 99,999 seconds, the finger drills end within the hour.
    FOR v_name, v_low, v_high IN VALUES
        ('time', 0, CASE WHEN v_drill = 23 THEN 99999 ELSE 3600 END), ('result1', 0, 120000),
        ('result2', 0, 120000), ('result3', 0, 2000), ('result4', 0, 120000), ('result5', 0, 120000) LOOP
      v_number := (p_run->>v_name)::double precision;
      IF v_number IS NOT NULL AND NOT (v_number BETWEEN v_low AND v_high) THEN
        RETURN format('refused: %s %s is outside %s to %s', v_name, v_number, v_low, v_high);
      END IF;
    END LOOP;
    -- A unit is a short text (a kana pair, a key), once per run; its counts are what a run can hold.
    IF EXISTS (SELECT FROM jsonb_to_recordset(v_units)
                 AS u(unit text, attempts integer, misses integer, meanms integer, wrongkey text)
               WHERE unit IS NULL OR length(unit) NOT BETWEEN 1 AND 4 OR unit ~ '[[:cntrl:]]'
                  OR attempts IS NULL OR attempts NOT BETWEEN 0 AND 120000
                  OR misses IS NULL OR misses NOT BETWEEN 0 AND attempts OR meanms NOT BETWEEN 0 AND 3600000
                  OR length(wrongkey) > 4 OR wrongkey ~ '[[:cntrl:]]')
       OR (SELECT count(DISTINCT unit) <> count(*) FROM jsonb_to_recordset(v_units) AS u(unit text)) THEN
      RETURN 'refused: units outside what the drills record';
    END IF;
  EXCEPTION WHEN data_exception THEN
    RETURN 'refused: ' || SQLERRM;
  END;
  IF v_id IS NULL THEN
    RETURN 'refused: no run id';
  END IF;
  IF v_drill IS NULL OR NOT v_drill = ANY (v_drills) THEN
    RETURN format('refused: no drill number %s in %s', v_drill, p_table);
  END IF;
  IF v_day IS NULL OR v_day < DATE '2000-01-01' OR v_day > current_date THEN
    RETURN format('refused: the day %s is not between 2000-01-01 and today', v_day);
  END IF;
  IF v_finished > now() + interval '1 day' THEN
    RETURN 'refused: the run finished in the future';
  END IF;
  IF v_learner IS NULL OR length(v_learner) NOT BETWEEN 1 AND 32 OR v_learner <> btrim(v_learner)
     OR v_learner ~ '[[:cntrl:]]' THEN
    RETURN 'refused: not a learner''s name';
  END IF;
  IF EXISTS (SELECT FROM learners) AND NOT EXISTS (SELECT FROM learners WHERE name = v_learner::citext) THEN
    RETURN format('refused: %s is not on the class list', v_learner);
  END IF;
  SELECT string_agg(k, ', ') INTO v_unknown FROM jsonb_each_text(p_run) AS f(k, v)
    WHERE k IN ('rem', 'cond1', 'cond2', 'err1', 'err2', 'err3') AND (length(v) > 64 OR v ~ '[[:cntrl:]]');
  IF v_unknown IS NOT NULL THEN
    RETURN 'refused: texts too long or with control characters: ' || v_unknown;
  END IF;

  -- One learner's day of one drill is numbered by one call at a time.
  v_scope := concat_ws('/', p_table, lower(v_learner), v_day, v_drill, lower(v_course));
  PERFORM pg_advisory_xact_lock(4712, hashtext(v_scope));
  -- The content compared: every column but what the server sets and the conflict mark.
  EXECUTE format('SELECT to_jsonb(r) - ''round'' - ''conflict'' - ''received'' - ''sent_from'' FROM
                  (SELECT (jsonb_populate_record(NULL::%1$I, $1)).*) r', p_table)
    INTO v_new USING p_run;
  v_read := format('SELECT to_jsonb(t) - ''round'' - ''conflict'' - ''received'' - ''sent_from'' FROM %1$I t
                     WHERE runid = $1', p_table);
  EXECUTE v_read INTO v_old USING v_id;
  IF v_old IS NOT NULL THEN
    RETURN CASE WHEN v_old = v_new THEN 'same' ELSE 'different' END;
  END IF;
  BEGIN
    EXECUTE format('INSERT INTO %1$I SELECT (jsonb_populate_record(NULL::%1$I, $1)).*', p_table)
      USING p_run || jsonb_build_object('round', NULL, 'received', now(),
                                        'sent_from', session_user || '@' ||
                                                     coalesce(host(inet_client_addr()), 'local'));
  EXCEPTION WHEN unique_violation THEN -- the same id, sent at this moment under another learner or day
    EXECUTE v_read INTO v_old USING v_id;
    RETURN CASE WHEN v_old = v_new THEN 'same' ELSE 'different' END;
  END;
  INSERT INTO t_unit (runid, learner, y4mmdd, drill, unit, attempts, misses, meanms, wrongkey)
    SELECT v_id, v_learner, v_day, v_drill, u.unit, u.attempts, u.misses, u.meanms, NULLIF(u.wrongkey, '')
    FROM jsonb_to_recordset(v_units) AS u(unit text, attempts integer, misses integer, meanms integer,
                                          wrongkey text);
  IF v_conflict IS NOT NULL THEN
    EXECUTE format('UPDATE %1$I SET conflict = $1 WHERE runid = $2 AND conflict IS NULL', p_table)
      USING v_id, v_conflict;
  END IF;
  EXECUTE format('WITH n AS (SELECT runid, least(row_number() OVER (ORDER BY finished NULLS FIRST,
                               round NULLS LAST, received, runid), 32767) AS rn
                             FROM %1$I WHERE learner = $1::citext AND y4mmdd = $2 AND %2$I = $3 %3$s)
                  UPDATE %1$I t SET round = n.rn FROM n WHERE t.runid = n.runid AND t.round IS DISTINCT FROM n.rn',
                 p_table, v_drill_column,
                 CASE WHEN p_table = 't_key' THEN 'AND cond1 IS NOT DISTINCT FROM $4::citext' ELSE '' END)
    USING v_learner, v_day, v_drill, v_course;
  RETURN 'new';
END
$fn$;
REVOKE ALL ON FUNCTION halvor_add_run(text, jsonb, jsonb) FROM PUBLIC;

-- Version 4: runs are added only through the function: nobody but the tables' owner writes to them directly.
REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON t_key, t_digit, t_unit FROM PUBLIC;
DO $$
DECLARE
  g record;
BEGIN
  FOR g IN SELECT DISTINCT c.relname, a.grantee::regrole AS grantee
           FROM pg_class c, aclexplode(c.relacl) a
           WHERE c.oid IN ('t_key'::regclass, 't_digit'::regclass, 't_unit'::regclass) AND a.grantee <> 0
             AND a.grantee <> c.relowner AND a.privilege_type IN ('INSERT', 'UPDATE', 'DELETE', 'TRUNCATE') LOOP
    EXECUTE format('REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON %I FROM %s', g.relname, g.grantee);
  END LOOP;
END
$$;

INSERT INTO halvor_schema (version) SELECT 5 WHERE NOT EXISTS (SELECT FROM halvor_schema);
UPDATE halvor_schema SET version = 5 WHERE version < 5;

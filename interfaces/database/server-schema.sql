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
-- Version 6: one row per unit (a kana or kana pair, a key) a run practised, with the run's id, learner, day
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
  PERFORM pg_notify('halvor_live', jsonb_build_object('table', p_table, 'runId', v_id)::text);
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

-- Version 5: who is at which computer now. One row per login and computer, replaced at each report of a
-- program that is open there; nothing is kept for later. Every change, and every run that lands, is
-- announced on the channel halvor_live with the row's key only ({"login", "computer"} or {"table",
-- "runId"}); a viewer reads the row itself, so an announcement anyone may send can forge nothing. Unlogged:
-- the rows are ephemeral (a server that crashed starts with none, and the programs report again), and a
-- report then writes nothing to the server's log, which keeps a classroom's presence cheap.
CREATE UNLOGGED TABLE IF NOT EXISTS halvor_presence (login text NOT NULL, computer text NOT NULL, event text NOT NULL,
  learner text, program text NOT NULL, course text, started timestamptz NOT NULL, last_input timestamptz,
  running boolean NOT NULL, figures jsonb NOT NULL, updated timestamptz NOT NULL, PRIMARY KEY (login, computer));

-- Times as the viewers read them: UTC to the millisecond.
CREATE OR REPLACE FUNCTION halvor_time(p timestamptz) RETURNS text LANGUAGE sql IMMUTABLE
SET search_path = pg_catalog AS $$
  SELECT to_char(p AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"')
$$;

-- A presence row as the viewers hear it.
CREATE OR REPLACE FUNCTION halvor_presence_record(p halvor_presence) RETURNS jsonb LANGUAGE sql STABLE
SET search_path = pg_catalog, public, pg_temp AS $$
  SELECT p.figures || jsonb_build_object('event', p.event, 'time', halvor_time(p.updated), 'learner', p.learner,
    'login', p.login, 'computer', p.computer, 'program', p.program, 'course', p.course,
    'started', halvor_time(p.started), 'lastInput', halvor_time(p.last_input), 'running', p.running)
$$;

-- A run that landed, as the viewers hear it: its figures by name, the computer it came from (the one its
-- login reported from last), and the program that stores its runs under that table and drill.
CREATE OR REPLACE FUNCTION halvor_run_record(p_table text, p_id uuid) RETURNS jsonb LANGUAGE plpgsql STABLE
SET search_path = pg_catalog, public, pg_temp AS $fn$
DECLARE
  r jsonb;
  v_login text;
  v_computer text;
  v_drill integer;
  v_keys double precision;
  v_errors double precision;
BEGIN
  IF p_table NOT IN ('t_key', 't_digit') THEN
    RETURN NULL;
  END IF;
  EXECUTE format('SELECT to_jsonb(t) FROM %I t WHERE runid = $1', p_table) INTO r USING p_id;
  IF r IS NULL THEN
    RETURN NULL;
  END IF;
  v_login := split_part(r->>'sent_from', '@', 1);
  SELECT computer INTO v_computer FROM halvor_presence WHERE login = v_login ORDER BY updated DESC LIMIT 1;
  v_drill := (r->>CASE WHEN p_table = 't_key' THEN 'tavrel' ELSE 'pelvoran' END)::integer;
  v_keys := (r->>'result1')::double precision;
  v_errors := coalesce((r->>'result4')::double precision, 0);
  RETURN jsonb_build_object('event', 'run', 'time', halvor_time((r->>'received')::timestamptz),
    'learner', r->>'learner', 'login', nullif(v_login, ''), 'computer', coalesce(v_computer, r->>'sent_from'),
    'program', CASE WHEN p_table = 't_digit' THEN 'Pelvoran12' WHEN v_drill = 23 THEN 'Tavrel23'
                    ELSE 'Tavrel11' END,
    'course', CASE WHEN p_table = 't_digit' THEN r->>'rem' ELSE r->>'cond1' END,
    'speed', r->'result3', 'keystrokes', r->'result1', 'errors', r->'result4', 'seconds', r->'time',
    'accuracy', CASE WHEN v_keys > 0 THEN 100 * greatest(v_keys - v_errors, 0) / v_keys END,
    'weakest', r->>'err1', 'drill', v_drill, 'day', r->>'y4mmdd', 'round', (r->>'round')::integer,
    'runId', p_id);
END
$fn$;

-- Takes one program's report, checked, and says what became of it: 'ok', or 'refused: …'. The login is the
-- session's; the program sends how long ago it came up and how long ago the last keystroke was, and the
-- times are the server's own, so computers with wrong clocks agree. A login keeps at most four rows (a
-- computer running two programs, a renamed computer), and rows nobody has reported for an hour go, both as a
-- program opens.
CREATE OR REPLACE FUNCTION halvor_report(p jsonb) RETURNS text LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, public, pg_temp AS $fn$
DECLARE
  v_name text;
  v_low double precision;
  v_high double precision;
  v_number double precision;
  v_figures jsonb := '{}';
  v_started timestamptz;
  v_input timestamptz;
  v_row halvor_presence;
BEGIN
  IF jsonb_typeof(p) IS DISTINCT FROM 'object' THEN
    RETURN 'refused: the report is not an object';
  END IF;
  IF p->>'event' IS NULL OR p->>'event' NOT IN ('open', 'start', 'progress', 'finish', 'close') THEN
    RETURN 'refused: no such event';
  END IF;
  FOR v_name, v_high IN VALUES ('computer', 64), ('learner', 32), ('program', 32), ('course', 16),
                               ('weakest', 8) LOOP
    IF coalesce(jsonb_typeof(p->v_name), 'null') NOT IN ('string', 'null') OR length(p->>v_name) > v_high
       OR p->>v_name ~ '[[:cntrl:]]' THEN
      RETURN format('refused: %s is not a text of at most %s characters', v_name, v_high);
    END IF;
  END LOOP;
  IF coalesce(p->>'computer', '') = '' OR coalesce(p->>'program', '') = '' THEN
    RETURN 'refused: no computer or program';
  END IF;
  -- Every number within what the drills can produce; the durations within a week.
  FOR v_name, v_low, v_high IN VALUES ('sinceStartMs', 0, 604800000), ('sinceInputMs', 0, 604800000),
      ('speed', 0, 2000), ('accuracy', 0, 100), ('keystrokes', 0, 120000), ('errors', 0, 120000),
      ('seconds', 0, 99999), ('done', 0, 120000), ('total', 0, 120000) LOOP
    IF coalesce(jsonb_typeof(p->v_name), 'null') NOT IN ('number', 'null') THEN
      RETURN format('refused: %s is not a number', v_name);
    END IF;
    v_number := (p->>v_name)::double precision;
    IF v_number IS NOT NULL AND NOT (v_number BETWEEN v_low AND v_high) THEN
      RETURN format('refused: %s %s is outside %s to %s', v_name, v_number, v_low, v_high);
    END IF;
    IF v_name NOT LIKE 'since%' THEN
      v_figures := v_figures || jsonb_build_object(v_name, v_number);
    END IF;
  END LOOP;
  IF p->>'sinceStartMs' IS NULL THEN
    RETURN 'refused: no time since the start';
  END IF;
  v_figures := v_figures || jsonb_build_object('weakest', nullif(p->>'weakest', ''));
  v_started := now() - (p->>'sinceStartMs')::double precision * interval '1 millisecond';
  v_input := now() - (p->>'sinceInputMs')::double precision * interval '1 millisecond';

  INSERT INTO halvor_presence AS h (login, computer, event, learner, program, course, started, last_input,
                                    running, figures, updated)
    VALUES (session_user, p->>'computer', p->>'event', nullif(p->>'learner', ''), p->>'program',
            nullif(p->>'course', ''), v_started, v_input, coalesce((p->>'running')::boolean, false),
            v_figures, now())
  ON CONFLICT (login, computer) DO UPDATE SET event = EXCLUDED.event, learner = EXCLUDED.learner,
    program = EXCLUDED.program, course = EXCLUDED.course,
    -- The same program's start, measured again over another round trip, stays where it was.
    started = CASE WHEN h.program = EXCLUDED.program AND h.event <> 'close'
                    AND abs(extract(epoch FROM EXCLUDED.started - h.started)) < 5 THEN h.started
                   ELSE EXCLUDED.started END,
    last_input = EXCLUDED.last_input, running = EXCLUDED.running, figures = EXCLUDED.figures,
    updated = EXCLUDED.updated
  RETURNING * INTO v_row;
  IF v_row.event = 'open' THEN -- tidied as programs open, not at every report
    DELETE FROM halvor_presence WHERE (login = session_user AND computer NOT IN (
        SELECT computer FROM halvor_presence WHERE login = session_user ORDER BY updated DESC LIMIT 4))
      OR updated < now() - interval '1 hour';
  END IF;
  PERFORM pg_notify('halvor_live', jsonb_build_object('login', v_row.login, 'computer', v_row.computer)::text);
  RETURN 'ok';
EXCEPTION WHEN data_exception THEN
  RETURN 'refused: ' || SQLERRM;
END
$fn$;
REVOKE ALL ON FUNCTION halvor_report(jsonb) FROM PUBLIC;
REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON halvor_presence FROM PUBLIC;

INSERT INTO halvor_schema (version) SELECT 6 WHERE NOT EXISTS (SELECT FROM halvor_schema);
UPDATE halvor_schema SET version = 6 WHERE version < 6;

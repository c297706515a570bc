-- The teacher's side of a sitting: a key for its live class page (only the key's hash is
-- kept), grade thresholds, and the sitting's own rules: an order of its own for every run,
-- right answers hidden while the sitting is open. The class page is served by kviront-server,
-- which calls the functions below on the teacher's behalf with the key's hash; the teacher's
-- tools read the same answer sheets through kviront.sheet_head and kviront.sheet_lines.
SET LOCAL ROLE kviront_owner;

-- Grades on the 5-point scale as the least percentage of right answers for a 5, a 4 and a 3.
ALTER TABLE kviront.sittings
    ADD COLUMN teacher_key_hash bytea UNIQUE,
    ADD COLUMN grade5 smallint NOT NULL DEFAULT 90,
    ADD COLUMN grade4 smallint NOT NULL DEFAULT 75,
    ADD COLUMN grade3 smallint NOT NULL DEFAULT 50,
    ADD COLUMN show_grade boolean NOT NULL DEFAULT false,
    ADD COLUMN own_order boolean NOT NULL DEFAULT false,
    ADD COLUMN hide_answers boolean NOT NULL DEFAULT false,
    ADD CHECK (0 < grade3 AND grade3 < grade4 AND grade4 < grade5 AND grade5 <= 100);

-- The starting state of the program's order generator for a run of a sitting with an order of
-- its own per run; NULL: the program's fixed order.
ALTER TABLE kviront.runs
    ADD COLUMN order_state bigint CHECK (order_state BETWEEN 0 AND 4294967295);

ALTER TYPE kviront_api.sitting_run
    ADD ATTRIBUTE order_state bigint,
    ADD ATTRIBUTE hide_answers boolean,
    ADD ATTRIBUTE grade5 integer, -- the thresholds only when the trainee is shown the grade
    ADD ATTRIBUTE grade4 integer,
    ADD ATTRIBUTE grade3 integer;

-- Whether a sitting hides its right answers: from the trainees' programs always (a run still
-- under way after the sitting closed must not learn them either), on the answer sheets until
-- the sitting is closed or its end time has passed.
CREATE FUNCTION kviront.hides_from_trainees(p_sitting_id bigint)
RETURNS boolean
LANGUAGE sql STABLE
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT coalesce((SELECT s.hide_answers FROM kviront.sittings s WHERE s.id = p_sitting_id),
                    false)
$fn$;

CREATE FUNCTION kviront.hides_answers(p_sitting_id bigint)
RETURNS boolean
LANGUAGE sql STABLE
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT coalesce((SELECT s.hide_answers AND s.closed_at IS NULL
                            AND (s.closes_at IS NULL OR s.closes_at > clock_timestamp())
                       FROM kviront.sittings s WHERE s.id = p_sitting_id), false)
$fn$;

-- As before, and: a run of a sitting with an order of its own gets a random starting state
-- for the order generator, kept with the run; the reply says whether right answers are
-- hidden, and gives the grade thresholds when the trainee is to be shown the grade.
CREATE OR REPLACE FUNCTION kviront_api.sitting_start(p_sitting text, p_code_hash bytea,
                                                     p_host text, p_trainee text)
RETURNS kviront_api.sitting_run
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    s record;
    c record;
    r record;
    t uuid;
    who text;
    state bigint;
BEGIN
    IF p_host IS NULL OR p_host = '' OR length(p_host) > 255 THEN
        RAISE EXCEPTION 'недопустимое имя компьютера' USING ERRCODE = 'KV006';
    END IF;
    SELECT st.*, bv.record_count, bv.version, bv.withdrawn_at AS version_withdrawn,
           b.name AS bank, b.withdrawn_at AS bank_withdrawn
      INTO s
      FROM kviront.sittings st
      JOIN kviront.bank_versions bv ON bv.id = st.version_id
      JOIN kviront.banks b ON b.id = bv.bank_id
     WHERE st.name = p_sitting;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'на сервере нет тестирования «%»', p_sitting USING ERRCODE = 'KV001';
    END IF;
    SELECT * INTO c FROM kviront.codes
     WHERE code_hash = p_code_hash AND sitting_id = s.id
       FOR UPDATE;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'такого кода нет в этом тестировании' USING ERRCODE = 'KV010';
    END IF;
    IF s.bank_withdrawn IS NOT NULL OR s.version_withdrawn IS NOT NULL THEN
        RAISE EXCEPTION 'банк «%» снят учителем', s.bank USING ERRCODE = 'KV013';
    END IF;
    SELECT runs.id, runs.token, runs.trainee, runs.order_state INTO r
      FROM kviront.runs WHERE code_id = c.id;
    IF FOUND THEN
        IF c.host IS DISTINCT FROM p_host THEN
            IF NOT c.rehost_allowed THEN
                RAISE EXCEPTION 'по этому коду уже идёт тест на другом компьютере'
                    USING ERRCODE = 'KV012';
            END IF;
            UPDATE kviront.codes SET host = p_host, rehost_allowed = false WHERE id = c.id;
        END IF;
        RETURN ROW(r.token, s.record_count, s.allowed_seconds, s.decimal_separator, r.trainee,
                   s.bank, s.version, true, r.order_state, s.hide_answers,
                   CASE WHEN s.show_grade THEN s.grade5 END,
                   CASE WHEN s.show_grade THEN s.grade4 END,
                   CASE WHEN s.show_grade THEN s.grade3 END)::kviront_api.sitting_run;
    END IF;
    IF s.closed_at IS NOT NULL OR clock_timestamp() < s.opens_at
       OR (s.closes_at IS NOT NULL AND clock_timestamp() >= s.closes_at) THEN
        RAISE EXCEPTION 'тестирование «%» сейчас не идёт', p_sitting USING ERRCODE = 'KV011';
    END IF;
    who := coalesce(c.trainee, p_trainee);
    IF who IS NULL OR btrim(who) = '' OR length(who) > 1000 THEN
        RAISE EXCEPTION 'недопустимое имя ученика' USING ERRCODE = 'KV006';
    END IF;
    t := gen_random_uuid();
    IF s.own_order THEN
        -- 32 random bits: the first eight hex digits of a random UUID (version 4).
        state := ('x' || left(replace(gen_random_uuid()::text, '-', ''), 8))::bit(32)::bigint;
    END IF;
    INSERT INTO kviront.runs (token, version_id, trainee, host, allowed_seconds,
                              decimal_separator, started_at, sitting_id, code_id, order_state)
    VALUES (t, s.version_id, who, p_host, s.allowed_seconds, s.decimal_separator,
            clock_timestamp(), s.id, c.id, state);
    UPDATE kviront.codes SET host = p_host, rehost_allowed = false WHERE id = c.id;
    RETURN ROW(t, s.record_count, s.allowed_seconds, s.decimal_separator, who, s.bank,
               s.version, false, state, s.hide_answers,
               CASE WHEN s.show_grade THEN s.grade5 END,
               CASE WHEN s.show_grade THEN s.grade4 END,
               CASE WHEN s.show_grade THEN s.grade3 END)::kviront_api.sitting_run;
END
$fn$;

-- As before, but a sitting that hides its right answers gives none (NULL).
CREATE OR REPLACE FUNCTION kviront_api.run_answers(p_token uuid)
RETURNS SETOF kviront_api.given_answer
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT a.record, a.option::integer, a.verdict,
           CASE WHEN NOT kviront.hides_from_trainees(r.sitting_id) THEN q.pr_otvet END,
           a.client_seconds, a.server_seconds, a.late
      FROM kviront.runs r
      JOIN kviront.answers a ON a.run_id = r.id
      JOIN kviront.questions q ON q.version_id = r.version_id AND q.record = a.record
     WHERE r.token = p_token
       AND coalesce(a.recorded_by <> pg_current_xact_id_if_assigned(), true)
     ORDER BY a.answered_at, a.record
$fn$;

CREATE OR REPLACE FUNCTION kviront_api.answer_result(p_token uuid, p_record integer)
RETURNS kviront_api.given_answer
LANGUAGE plpgsql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    r record;
BEGIN
    SELECT a.record, a.option, a.verdict, q.pr_otvet, a.client_seconds, a.server_seconds,
           a.late, a.recorded_by, runs.sitting_id
      INTO r
      FROM kviront.runs
      JOIN kviront.answers a ON a.run_id = runs.id AND a.record = p_record
      JOIN kviront.questions q ON q.version_id = runs.version_id AND q.record = p_record
     WHERE runs.token = p_token;
    IF NOT FOUND OR NOT coalesce(r.recorded_by <> pg_current_xact_id_if_assigned(), true) THEN
        RAISE EXCEPTION 'ответ на вопрос % не записан', p_record USING ERRCODE = 'KV004';
    END IF;
    RETURN ROW(r.record, r.option, r.verdict,
               CASE WHEN NOT kviront.hides_from_trainees(r.sitting_id) THEN r.pr_otvet END,
               r.client_seconds, r.server_seconds, r.late)::kviront_api.given_answer;
END
$fn$;

-- One run's answer sheet, its head: the sitting, the run, the grade thresholds, whether the
-- right answers are still hidden; and its lines: every question handed out, in the order
-- shown, with the answer if there is one. The right answer (and the option it names by the
-- program's own rule) is NULL while the sitting hides it. The teacher's tools call these with
-- a run, the class page through the key's wrappers below.
CREATE TYPE kviront_api.sheet_head AS (
    sitting text, bank text, version integer, records integer, trainee text, host text,
    started_at timestamptz, ended_at timestamptz, finished boolean, order_state bigint,
    own_order boolean, hides boolean, grade5 integer, grade4 integer, grade3 integer,
    allowed_seconds integer, grace_seconds integer, opens_at timestamptz,
    closes_at timestamptz, closed_at timestamptz);

CREATE TYPE kviront_api.sheet_line AS (
    shown integer, record integer, vopros text, otvet1 text, otvet2 text, otvet3 text,
    otvet4 text, pr_otvet text, right_option integer, option integer, verdict boolean,
    client_seconds double precision, server_seconds double precision, late boolean);

CREATE FUNCTION kviront.sheet_head(p_run_id bigint)
RETURNS SETOF kviront_api.sheet_head
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT s.name, b.name, v.version, v.record_count, r.trainee, r.host, r.started_at,
           r.ended_at, r.finished, r.order_state, coalesce(s.own_order, false),
           kviront.hides_answers(r.sitting_id), coalesce(s.grade5, 90), coalesce(s.grade4, 75),
           coalesce(s.grade3, 50), r.allowed_seconds, coalesce(s.grace_seconds, 0), s.opens_at,
           s.closes_at, s.closed_at
      FROM kviront.runs r
      JOIN kviront.bank_versions v ON v.id = r.version_id
      JOIN kviront.banks b ON b.id = v.bank_id
      LEFT JOIN kviront.sittings s ON s.id = r.sitting_id
     WHERE r.id = p_run_id
$fn$;

CREATE FUNCTION kviront.sheet_lines(p_run_id bigint)
RETURNS SETOF kviront_api.sheet_line
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    WITH run AS (
        SELECT r.id, r.version_id, r.decimal_separator,
               kviront.hides_answers(r.sitting_id) AS hides
          FROM kviront.runs r WHERE r.id = p_run_id)
    SELECT (row_number() OVER (ORDER BY h.handed_at, h.record))::integer, h.record, q.vopros,
           q.otvet1, q.otvet2, q.otvet3, q.otvet4,
           CASE WHEN NOT run.hides THEN q.pr_otvet END,
           CASE WHEN NOT run.hides THEN
               (SELECT k FROM generate_series(1, 4) k
                 WHERE kviront.verdict(q.pr_otvet, k, run.decimal_separator) LIMIT 1) END,
           a.option::integer, a.verdict, a.client_seconds, a.server_seconds, a.late
      FROM run
      JOIN kviront.handouts h ON h.run_id = run.id
      JOIN kviront.questions q ON q.version_id = run.version_id AND q.record = h.record
      LEFT JOIN kviront.answers a ON a.run_id = run.id AND a.record = h.record
     ORDER BY h.handed_at, h.record
$fn$;

-- The class page's calls. Each takes the sha256 of the teacher key; a key that opens no
-- sitting is refused as KV020 (the page asks for the key again).
CREATE FUNCTION kviront.sitting_of_key(p_key_hash bytea)
RETURNS bigint
LANGUAGE plpgsql STABLE
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    found_id bigint;
BEGIN
    SELECT id INTO found_id FROM kviront.sittings WHERE teacher_key_hash = p_key_hash;
    IF NOT FOUND OR p_key_hash IS NULL THEN
        RAISE EXCEPTION 'ключ учителя не подходит' USING ERRCODE = 'KV020';
    END IF;
    RETURN found_id;
END
$fn$;

CREATE FUNCTION kviront_api.teacher_sitting(p_key_hash bytea)
RETURNS TABLE (name text, bank text, version integer, records integer,
               allowed_seconds integer, grace_seconds integer, opens_at double precision,
               closes_at double precision, closed_at double precision, grade5 integer,
               grade4 integer, grade3 integer, show_grade boolean, own_order boolean,
               hide_answers boolean, now_at double precision)
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT s.name, b.name, v.version, v.record_count, s.allowed_seconds, s.grace_seconds,
           extract(epoch FROM s.opens_at)::double precision,
           extract(epoch FROM s.closes_at)::double precision,
           extract(epoch FROM s.closed_at)::double precision, s.grade5, s.grade4, s.grade3,
           s.show_grade, s.own_order, s.hide_answers,
           extract(epoch FROM clock_timestamp())::double precision
      FROM kviront.sittings s
      JOIN kviront.bank_versions v ON v.id = s.version_id
      JOIN kviront.banks b ON b.id = v.bank_id
     WHERE s.id = kviront.sitting_of_key(p_key_hash)
$fn$;

-- A row per code of the class list: its run if there is one, with what was answered and how
-- long ago the trainee's program was last heard from. A run has lost contact when nothing came
-- from it for more than 30 s beyond what was due: the answer to a question handed out is due
-- within the sitting's time and grace, the next request at once.
CREATE FUNCTION kviront_api.teacher_rows(p_key_hash bytea)
RETURNS TABLE (list_position integer, trainee text, host text, rehost_allowed boolean,
               started boolean, ended boolean, finished boolean, handed integer,
               answered integer, right_answers integer, used_seconds double precision,
               silent_seconds double precision, lost boolean)
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    WITH s AS (SELECT id, allowed_seconds + grace_seconds AS due
                 FROM kviront.sittings WHERE id = kviront.sitting_of_key(p_key_hash)),
    runs AS (
        SELECT r.id, r.code_id, r.started_at, r.ended_at, r.finished,
               (SELECT count(*) FROM kviront.handouts h WHERE h.run_id = r.id) AS handed,
               (SELECT max(h.handed_at) FROM kviront.handouts h WHERE h.run_id = r.id)
                   AS last_handed,
               (SELECT count(*) FROM kviront.answers a WHERE a.run_id = r.id) AS answered,
               (SELECT count(*) FROM kviront.answers a WHERE a.run_id = r.id AND a.verdict)
                   AS right_answers,
               (SELECT max(a.answered_at) FROM kviront.answers a WHERE a.run_id = r.id)
                   AS last_answered
          FROM kviront.runs r, s WHERE r.sitting_id = s.id),
    timed AS (
        SELECT runs.*,
               greatest(runs.started_at, runs.last_handed, runs.last_answered) AS last_contact,
               CASE WHEN runs.handed > runs.answered
                    THEN runs.last_handed + make_interval(secs => (SELECT due FROM s))
                    ELSE greatest(runs.started_at, runs.last_handed, runs.last_answered)
               END AS due_at
          FROM runs)
    SELECT c.position, coalesce(t.trainee, c.trainee), c.host, c.rehost_allowed,
           timed.id IS NOT NULL, timed.ended_at IS NOT NULL, coalesce(timed.finished, false),
           coalesce(timed.handed, 0)::integer, coalesce(timed.answered, 0)::integer,
           coalesce(timed.right_answers, 0)::integer,
           extract(epoch FROM coalesce(timed.ended_at, clock_timestamp())
                              - timed.started_at)::double precision,
           extract(epoch FROM clock_timestamp() - timed.last_contact)::double precision,
           timed.ended_at IS NULL AND timed.id IS NOT NULL
               AND clock_timestamp() - timed.due_at > interval '30 seconds'
      FROM s
      JOIN kviront.codes c ON c.sitting_id = s.id
      LEFT JOIN timed ON timed.code_id = c.id
      LEFT JOIN kviront.runs t ON t.id = timed.id
     ORDER BY c.position
$fn$;

-- Closes the sitting as "sitting close" does; false when it was closed already.
CREATE FUNCTION kviront_api.teacher_close(p_key_hash bytea)
RETURNS boolean
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    sitting bigint := kviront.sitting_of_key(p_key_hash);
BEGIN
    UPDATE kviront.sittings SET closed_at = clock_timestamp()
     WHERE id = sitting AND closed_at IS NULL;
    RETURN FOUND;
END
$fn$;

-- Lets the trainee of a code go on with the run on another computer, once: the run goes on
-- from where the server has it. Only a run under way can (KV021 otherwise).
CREATE FUNCTION kviront_api.teacher_rehost(p_key_hash bytea, p_position integer)
RETURNS boolean
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    sitting bigint := kviront.sitting_of_key(p_key_hash);
    code bigint;
BEGIN
    SELECT c.id INTO code
      FROM kviront.codes c JOIN kviront.runs r ON r.code_id = c.id
     WHERE c.sitting_id = sitting AND c.position = p_position AND r.ended_at IS NULL;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'у этого ученика нет начатого теста' USING ERRCODE = 'KV021';
    END IF;
    UPDATE kviront.codes SET rehost_allowed = true WHERE id = code AND NOT rehost_allowed;
    RETURN FOUND;
END
$fn$;

-- The run of a code of the key's sitting, for its answer sheet (KV021 when there is none).
CREATE FUNCTION kviront_api.teacher_run(p_key_hash bytea, p_position integer)
RETURNS bigint
LANGUAGE plpgsql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    found_id bigint;
BEGIN
    SELECT r.id INTO found_id
      FROM kviront.codes c JOIN kviront.runs r ON r.code_id = c.id
     WHERE c.sitting_id = kviront.sitting_of_key(p_key_hash) AND c.position = p_position;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'у этого ученика нет начатого теста' USING ERRCODE = 'KV021';
    END IF;
    RETURN found_id;
END
$fn$;

CREATE FUNCTION kviront_api.teacher_sheet_head(p_key_hash bytea, p_position integer)
RETURNS SETOF kviront_api.sheet_head
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT * FROM kviront.sheet_head(kviront_api.teacher_run(p_key_hash, p_position))
$fn$;

CREATE FUNCTION kviront_api.teacher_sheet_lines(p_key_hash bytea, p_position integer)
RETURNS SETOF kviront_api.sheet_line
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT * FROM kviront.sheet_lines(kviront_api.teacher_run(p_key_hash, p_position))
$fn$;

-- New functions are executable by PUBLIC unless taken away: the server's role gets the class
-- page's calls, the teacher the sheets; the helpers are called only from inside.
REVOKE ALL ON FUNCTION
    kviront.hides_from_trainees(bigint),
    kviront.hides_answers(bigint),
    kviront.sheet_head(bigint),
    kviront.sheet_lines(bigint),
    kviront.sitting_of_key(bytea),
    kviront_api.teacher_sitting(bytea),
    kviront_api.teacher_rows(bytea),
    kviront_api.teacher_close(bytea),
    kviront_api.teacher_rehost(bytea, integer),
    kviront_api.teacher_run(bytea, integer),
    kviront_api.teacher_sheet_head(bytea, integer),
    kviront_api.teacher_sheet_lines(bytea, integer)
    FROM PUBLIC;
GRANT EXECUTE ON FUNCTION
    kviront_api.teacher_sitting(bytea),
    kviront_api.teacher_rows(bytea),
    kviront_api.teacher_close(bytea),
    kviront_api.teacher_rehost(bytea, integer),
    kviront_api.teacher_sheet_head(bytea, integer),
    kviront_api.teacher_sheet_lines(bytea, integer)
    TO kviront;
GRANT EXECUTE ON FUNCTION kviront.sheet_head(bigint), kviront.sheet_lines(bigint)
    TO kviront_teacher;
GRANT UPDATE (teacher_key_hash) ON kviront.sittings TO kviront_teacher;

RESET ROLE;

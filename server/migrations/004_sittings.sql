-- Sittings: a published version opened by the teacher for a class, with a code per trainee.
-- Trainee programs no longer hold a database login: they speak to kviront-server, which alone
-- logs in (as the role kviront, by peer on the local socket) and calls the functions below,
-- each in a short transaction of its own. The server decides the time (the sitting's), the
-- identity (the code) and the transactions; a right answer leaves the database only for an
-- answer committed by an earlier transaction.
DO $roles$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_catalog.pg_roles WHERE rolname = 'kviront') THEN
        CREATE ROLE kviront LOGIN NOINHERIT CONNECTION LIMIT 64;
    END IF;
END
$roles$;

SET LOCAL ROLE kviront_owner;

-- A bank or one of its versions may be withdrawn by the teacher: no run starts on it and no
-- question of it is handed out any more; what was recorded stays.
ALTER TABLE kviront.banks ADD COLUMN withdrawn_at timestamptz;
ALTER TABLE kviront.bank_versions ADD COLUMN withdrawn_at timestamptz;

CREATE TABLE kviront.sittings (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL UNIQUE CHECK (name <> '' AND length(name) <= 200),
    version_id bigint NOT NULL REFERENCES kviront.bank_versions,
    allowed_seconds integer NOT NULL CHECK (allowed_seconds IN (30, 35, 45, 60)),
    decimal_separator text NOT NULL CHECK (decimal_separator IN ('.', ',')),
    grace_seconds integer NOT NULL DEFAULT 5 CHECK (grace_seconds BETWEEN 0 AND 60),
    opens_at timestamptz NOT NULL DEFAULT now(),
    closes_at timestamptz, -- NULL: open until closed
    closed_at timestamptz, -- set by "sitting close": no new runs, runs in flight finish
    created_by text NOT NULL DEFAULT session_user,
    created_at timestamptz NOT NULL DEFAULT now(),
    CHECK (closes_at IS NULL OR closes_at > opens_at)
);

-- One code per trainee of the class list (or per unnamed place). Only the code's hash is kept:
-- the codes are printed once, on the slips. The first start binds the code to its host; a
-- start from another host is refused unless the teacher allows it once (rehost_allowed).
CREATE TABLE kviront.codes (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    sitting_id bigint NOT NULL REFERENCES kviront.sittings,
    position integer NOT NULL CHECK (position > 0), -- on the class list
    code_hash bytea NOT NULL UNIQUE,
    trainee text CHECK (trainee IS NULL OR (trainee <> '' AND length(trainee) <= 1000)),
    host text,
    rehost_allowed boolean NOT NULL DEFAULT false,
    UNIQUE (sitting_id, position)
);

ALTER TABLE kviront.runs
    ADD COLUMN sitting_id bigint REFERENCES kviront.sittings,
    ADD COLUMN code_id bigint UNIQUE REFERENCES kviront.codes;

-- The transaction that recorded an answer, so that its right answer is given only to a later
-- one; and whether the server found the answer late (then recorded as a time-out).
ALTER TABLE kviront.answers
    ADD COLUMN recorded_by xid8,
    ADD COLUMN late boolean NOT NULL DEFAULT false;

-- Where the server can be reached and the certificate trainees pin, as "kviront-server setup"
-- made them; "sitting open" writes both into the server bank file.
CREATE TABLE kviront.server_identity (
    id integer PRIMARY KEY DEFAULT 1 CHECK (id = 1),
    url text NOT NULL CHECK (url LIKE 'https://%'),
    certificate text NOT NULL CHECK (certificate LIKE '-----BEGIN CERTIFICATE-----%'),
    updated_at timestamptz NOT NULL DEFAULT now()
);

-- The verdict rule as before, its pattern written without backslashes and its body pinned
-- against the session's settings: under standard_conforming_strings = off a "\." in the text
-- would read as ".", and "2)" would score as a right answer.
CREATE OR REPLACE FUNCTION kviront.verdict_of_text(p_text text, p_option integer, p_separator text)
RETURNS boolean
LANGUAGE plpgsql IMMUTABLE STRICT
SET standard_conforming_strings = on
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    t text := p_text;
    blank constant text := '[ ' || chr(9) || ']*';
    m text[];
    digits text;
    significant text;
    exponent text;
    place bigint;
    value double precision;
BEGIN
    IF p_option = 0 THEN
        RETURN false;
    END IF;
    IF p_separator <> '.' THEN
        IF strpos(t, '.') > 0 THEN
            RETURN NULL;
        END IF;
        t := replace(t, p_separator, '.');
    END IF;
    m := regexp_match(t, '^' || blank || '([+-]?)([0-9]*)(?:[.]([0-9]*))?(?:[eE]([+-]?[0-9]+))?'
                         || blank || '$');
    IF m IS NULL THEN
        RETURN NULL;
    END IF;
    digits := coalesce(m[2], '') || coalesce(m[3], '');
    IF digits = '' THEN
        RETURN NULL;
    END IF;
    significant := ltrim(digits, '0');
    IF significant = '' THEN
        RETURN false;
    END IF;
    exponent := coalesce(m[4], '0');
    IF length(ltrim(ltrim(exponent, '+-'), '0')) > 18 THEN
        RETURN CASE WHEN left(exponent, 1) = '-' THEN false ELSE NULL END;
    END IF;
    place := length(coalesce(m[2], '')) - (length(digits) - length(significant)) - 1
             + exponent::bigint;
    IF place >= 309 THEN
        RETURN NULL;
    ELSIF place < -1 OR (place > 0 AND place < 308) THEN
        RETURN false;
    END IF;
    IF place = 308 THEN
        BEGIN
            value := (m[1] || coalesce(m[2], '') || '.' || coalesce(m[3], '') || 'e'
                      || exponent::bigint::text)::double precision;
        EXCEPTION WHEN numeric_value_out_of_range THEN
            RETURN NULL;
        END;
        RETURN false;
    END IF;
    value := (m[1] || coalesce(m[2], '') || '.' || coalesce(m[3], '') || 'e'
              || exponent::bigint::text)::double precision;
    RETURN value = p_option;
END
$fn$;

-- The server's functions. Refusals carry SQLSTATEs the server turns into statuses:
--   KV001 sitting unknown, KV002 run unknown, KV003 run finished, KV004 not handed out,
--   KV005 record unknown, KV006 invalid argument, KV010 code unknown, KV011 sitting closed or
--   not open yet, KV012 code taken on another host, KV013 bank or version withdrawn,
--   KV014 a completed run with records unanswered.

CREATE TYPE kviront_api.sitting_run AS (
    token uuid, record_count integer, allowed_seconds integer, decimal_separator text,
    trainee text, bank text, version integer, resumed boolean);

-- Starts the run of a code, or returns the run the code already has (a lost reply makes no
-- second run). p_code_hash is sha256 of the normalised code; p_trainee is the name typed at
-- sign-in, taken only for an unnamed code's first start.
CREATE FUNCTION kviront_api.sitting_start(p_sitting text, p_code_hash bytea, p_host text,
                                          p_trainee text)
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
    SELECT runs.id, runs.token, runs.trainee INTO r FROM kviront.runs WHERE code_id = c.id;
    IF FOUND THEN
        IF c.host IS DISTINCT FROM p_host THEN
            IF NOT c.rehost_allowed THEN
                RAISE EXCEPTION 'по этому коду уже идёт тест на другом компьютере'
                    USING ERRCODE = 'KV012';
            END IF;
            UPDATE kviront.codes SET host = p_host, rehost_allowed = false WHERE id = c.id;
        END IF;
        RETURN ROW(r.token, s.record_count, s.allowed_seconds, s.decimal_separator, r.trainee,
                   s.bank, s.version, true)::kviront_api.sitting_run;
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
    INSERT INTO kviront.runs (token, version_id, trainee, host, allowed_seconds,
                              decimal_separator, started_at, sitting_id, code_id)
    VALUES (t, s.version_id, who, p_host, s.allowed_seconds, s.decimal_separator,
            clock_timestamp(), s.id, c.id);
    UPDATE kviront.codes SET host = p_host, rehost_allowed = false WHERE id = c.id;
    RETURN ROW(t, s.record_count, s.allowed_seconds, s.decimal_separator, who, s.bank,
               s.version, false)::kviront_api.sitting_run;
END
$fn$;

CREATE TYPE kviront_api.given_answer AS (
    record integer, option integer, verdict boolean, pr_otvet text, client_seconds double precision,
    server_seconds double precision, late boolean);

-- The answers a resumed run already has, in the order they were given, with their right
-- answers: each was committed by an earlier transaction.
CREATE FUNCTION kviront_api.run_answers(p_token uuid)
RETURNS SETOF kviront_api.given_answer
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT a.record, a.option::integer, a.verdict, q.pr_otvet, a.client_seconds,
           a.server_seconds, a.late
      FROM kviront.runs r
      JOIN kviront.answers a ON a.run_id = r.id
      JOIN kviront.questions q ON q.version_id = r.version_id AND q.record = a.record
     WHERE r.token = p_token
       AND coalesce(a.recorded_by <> pg_current_xact_id_if_assigned(), true)
     ORDER BY a.answered_at, a.record
$fn$;

-- Hands a record of the run out, everything but its right answer. The first handing-out is
-- kept, durably: the answer's time is measured from it and it is never set again.
CREATE FUNCTION kviront_api.hand_out(p_token uuid, p_record integer)
RETURNS kviront_api.question_row
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    r record;
BEGIN
    SELECT runs.id, runs.ended_at, q.record AS found, q.name, q.vopros, q.otvet1, q.otvet2,
           q.otvet3, q.otvet4, q.graph, bv.withdrawn_at AS version_withdrawn,
           b.withdrawn_at AS bank_withdrawn
      INTO r
      FROM kviront.runs
      JOIN kviront.bank_versions bv ON bv.id = runs.version_id
      JOIN kviront.banks b ON b.id = bv.bank_id
      LEFT JOIN kviront.questions q ON q.version_id = runs.version_id AND q.record = p_record
     WHERE runs.token = p_token AND runs.code_id IS NOT NULL;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'неизвестный тест' USING ERRCODE = 'KV002';
    END IF;
    IF r.ended_at IS NOT NULL THEN
        RAISE EXCEPTION 'тест уже закончен' USING ERRCODE = 'KV003';
    END IF;
    IF r.bank_withdrawn IS NOT NULL OR r.version_withdrawn IS NOT NULL THEN
        RAISE EXCEPTION 'банк снят учителем' USING ERRCODE = 'KV013';
    END IF;
    IF r.found IS NULL THEN
        RAISE EXCEPTION 'в банке нет вопроса %', p_record USING ERRCODE = 'KV005';
    END IF;
    INSERT INTO kviront.handouts (run_id, record, handed_at)
    VALUES (r.id, p_record, clock_timestamp())
    ON CONFLICT DO NOTHING;
    RETURN ROW(r.name, r.vopros, r.otvet1, r.otvet2, r.otvet3, r.otvet4,
               r.graph)::kviront_api.question_row;
END
$fn$;

CREATE TYPE kviront_api.recorded_answer AS (
    option integer, late boolean, client_seconds double precision,
    server_seconds double precision, repeated boolean);

-- Records the answer to a handed-out record, without its right answer. The server's clock
-- decides: an answer later than the sitting's time and grace after the handing-out is
-- recorded as a time-out (option 0, late). A repeat changes nothing and says so. The commit
-- waits for the disk whatever the session says.
CREATE FUNCTION kviront_api.record_answer(p_token uuid, p_record integer, p_option integer,
                                          p_client_seconds double precision)
RETURNS kviront_api.recorded_answer
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    r record;
    a record;
    now_at timestamptz := clock_timestamp();
    elapsed double precision;
    chosen integer := p_option;
    is_late boolean := false;
    unused text;
BEGIN
    unused := set_config('synchronous_commit', 'on', true);
    SELECT runs.id, runs.ended_at, runs.decimal_separator, runs.allowed_seconds,
           s.grace_seconds, h.handed_at, q.pr_otvet
      INTO r
      FROM kviront.runs
      JOIN kviront.sittings s ON s.id = runs.sitting_id
      LEFT JOIN kviront.handouts h ON h.run_id = runs.id AND h.record = p_record
      LEFT JOIN kviront.questions q ON q.version_id = runs.version_id AND q.record = p_record
     WHERE runs.token = p_token;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'неизвестный тест' USING ERRCODE = 'KV002';
    END IF;
    SELECT * INTO a FROM kviront.answers WHERE run_id = r.id AND record = p_record;
    IF FOUND THEN
        RETURN ROW(a.option, a.late, a.client_seconds, a.server_seconds,
                   true)::kviront_api.recorded_answer;
    END IF;
    IF r.ended_at IS NOT NULL THEN
        RAISE EXCEPTION 'тест уже закончен' USING ERRCODE = 'KV003';
    END IF;
    IF r.handed_at IS NULL THEN
        RAISE EXCEPTION 'вопрос % ещё не был выдан', p_record USING ERRCODE = 'KV004';
    END IF;
    IF p_option IS NULL OR p_option NOT BETWEEN 0 AND 4 THEN
        RAISE EXCEPTION 'недопустимый номер ответа' USING ERRCODE = 'KV006';
    END IF;
    IF p_client_seconds IS NULL OR NOT (p_client_seconds >= 0 AND p_client_seconds <= 86400) THEN
        RAISE EXCEPTION 'недопустимое время ответа' USING ERRCODE = 'KV006';
    END IF;
    elapsed := extract(epoch FROM now_at - r.handed_at)::double precision;
    IF elapsed > r.allowed_seconds + r.grace_seconds THEN
        chosen := 0;
        is_late := p_option <> 0;
    END IF;
    INSERT INTO kviront.answers (run_id, record, option, client_seconds, server_seconds,
                                 verdict, answered_at, recorded_by, late)
    VALUES (r.id, p_record, chosen, p_client_seconds, elapsed,
            kviront.verdict(r.pr_otvet, chosen, r.decimal_separator), now_at,
            pg_current_xact_id(), is_late)
    ON CONFLICT DO NOTHING;
    IF NOT FOUND THEN
        -- A resend overtook this call: the answer it recorded is the one.
        SELECT * INTO a FROM kviront.answers WHERE run_id = r.id AND record = p_record;
        RETURN ROW(a.option, a.late, a.client_seconds, a.server_seconds,
                   true)::kviront_api.recorded_answer;
    END IF;
    RETURN ROW(chosen, is_late, p_client_seconds, elapsed, false)::kviront_api.recorded_answer;
END
$fn$;

-- The recorded answer with its right answer and verdict: only once the transaction that
-- recorded it has committed, and never inside that transaction.
CREATE FUNCTION kviront_api.answer_result(p_token uuid, p_record integer)
RETURNS kviront_api.given_answer
LANGUAGE plpgsql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
DECLARE
    r record;
BEGIN
    SELECT a.record, a.option, a.verdict, q.pr_otvet, a.client_seconds, a.server_seconds,
           a.late, a.recorded_by
      INTO r
      FROM kviront.runs
      JOIN kviront.answers a ON a.run_id = runs.id AND a.record = p_record
      JOIN kviront.questions q ON q.version_id = runs.version_id AND q.record = p_record
     WHERE runs.token = p_token;
    IF NOT FOUND OR NOT coalesce(r.recorded_by <> pg_current_xact_id_if_assigned(), true) THEN
        RAISE EXCEPTION 'ответ на вопрос % не записан', p_record USING ERRCODE = 'KV004';
    END IF;
    RETURN ROW(r.record, r.option, r.verdict, r.pr_otvet, r.client_seconds, r.server_seconds,
               r.late)::kviront_api.given_answer;
END
$fn$;

-- Ends the run, completed or not; a completed run has an answer for every record. Ending an
-- ended run changes nothing and returns how it ended.
CREATE FUNCTION kviront_api.sitting_finish(p_token uuid, p_completed boolean)
RETURNS TABLE (finished boolean, answers integer)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
#variable_conflict use_column
DECLARE
    r record;
    answered integer;
BEGIN
    SELECT runs.id, runs.ended_at, runs.finished AS done, bv.record_count INTO r
      FROM kviront.runs JOIN kviront.bank_versions bv ON bv.id = runs.version_id
     WHERE runs.token = p_token AND runs.code_id IS NOT NULL
       FOR UPDATE OF runs;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'неизвестный тест' USING ERRCODE = 'KV002';
    END IF;
    SELECT count(*) INTO answered FROM kviront.answers a WHERE a.run_id = r.id;
    IF r.ended_at IS NOT NULL THEN
        RETURN QUERY SELECT r.done, answered;
        RETURN;
    END IF;
    IF p_completed IS NULL OR (p_completed AND answered < r.record_count) THEN
        RAISE EXCEPTION 'тест не закончен: ответов % из %', answered, r.record_count
            USING ERRCODE = 'KV014';
    END IF;
    UPDATE kviront.runs SET ended_at = clock_timestamp(), finished = p_completed
     WHERE runs.id = r.id;
    RETURN QUERY SELECT p_completed, answered;
END
$fn$;

-- The server's role may call these and nothing else; the teacher reads everything and opens,
-- closes and withdraws.
REVOKE ALL ON FUNCTION
    kviront_api.sitting_start(text, bytea, text, text),
    kviront_api.run_answers(uuid),
    kviront_api.hand_out(uuid, integer),
    kviront_api.record_answer(uuid, integer, integer, double precision),
    kviront_api.answer_result(uuid, integer),
    kviront_api.sitting_finish(uuid, boolean)
    FROM PUBLIC;
GRANT USAGE ON SCHEMA kviront_api TO kviront;
GRANT EXECUTE ON FUNCTION
    kviront_api.sitting_start(text, bytea, text, text),
    kviront_api.run_answers(uuid),
    kviront_api.hand_out(uuid, integer),
    kviront_api.record_answer(uuid, integer, integer, double precision),
    kviront_api.answer_result(uuid, integer),
    kviront_api.sitting_finish(uuid, boolean)
    TO kviront;
GRANT SELECT ON kviront.sittings, kviront.codes, kviront.server_identity TO kviront_teacher;
GRANT INSERT ON kviront.sittings, kviront.codes TO kviront_teacher;
GRANT UPDATE (closed_at, closes_at) ON kviront.sittings TO kviront_teacher;
GRANT UPDATE (rehost_allowed) ON kviront.codes TO kviront_teacher;
GRANT UPDATE (withdrawn_at) ON kviront.banks, kviront.bank_versions TO kviront_teacher;

RESET ROLE;

-- The classroom server's first schema: question banks with their immutable versions, test
-- runs and their answers, and the four functions through which a trainee's program works.
--
-- Roles (cluster-wide, made once): kviront_owner owns every object and is the identity the
-- trainee functions run under, so they never run as a superuser; kviront_teacher publishes
-- banks and reads every run; kviront_trainee may only execute the trainee functions.
DO $roles$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_catalog.pg_roles WHERE rolname = 'kviront_owner') THEN
        CREATE ROLE kviront_owner NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_catalog.pg_roles WHERE rolname = 'kviront_teacher') THEN
        CREATE ROLE kviront_teacher LOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_catalog.pg_roles WHERE rolname = 'kviront_trainee') THEN
        CREATE ROLE kviront_trainee LOGIN NOINHERIT;
    END IF;
END
$roles$;

-- kviront holds the data and is closed to the trainee role; kviront_api holds what it may call.
CREATE SCHEMA kviront AUTHORIZATION kviront_owner;
CREATE SCHEMA kviront_api AUTHORIZATION kviront_owner;
REVOKE ALL ON SCHEMA kviront, kviront_api FROM PUBLIC;

SET LOCAL ROLE kviront_owner;

CREATE TABLE kviront.schema_version (
    version integer PRIMARY KEY,
    name text NOT NULL,
    applied_at timestamptz NOT NULL DEFAULT now()
);

CREATE TABLE kviront.banks (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL UNIQUE CHECK (name <> ''),
    created_at timestamptz NOT NULL DEFAULT now()
);

-- A published version is never changed: the teacher role may insert, never update or delete.
CREATE TABLE kviront.bank_versions (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    bank_id bigint NOT NULL REFERENCES kviront.banks,
    version integer NOT NULL CHECK (version > 0),
    content_hash bytea NOT NULL,
    record_count integer NOT NULL CHECK (record_count > 0),
    source text NOT NULL,
    published_by text NOT NULL DEFAULT session_user,
    published_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (bank_id, version)
);

-- The records of a version in the order of the source bank's table: record numbers 1 … N.
CREATE TABLE kviront.questions (
    version_id bigint NOT NULL REFERENCES kviront.bank_versions,
    record integer NOT NULL CHECK (record > 0),
    name text NOT NULL,
    vopros text NOT NULL,
    otvet1 text NOT NULL,
    otvet2 text NOT NULL,
    otvet3 text NOT NULL,
    otvet4 text NOT NULL,
    pr_otvet text NOT NULL,
    graph bytea NOT NULL,
    PRIMARY KEY (version_id, record)
);

CREATE TABLE kviront.runs (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    token uuid NOT NULL UNIQUE,
    version_id bigint NOT NULL REFERENCES kviront.bank_versions,
    trainee text NOT NULL,
    host text NOT NULL,
    allowed_seconds integer NOT NULL,
    decimal_separator text NOT NULL,
    started_at timestamptz NOT NULL,
    ended_at timestamptz,
    finished boolean NOT NULL DEFAULT false
);
CREATE INDEX runs_started ON kviront.runs (started_at);

-- When each record of a run was first handed out: the server's own clock for the answer.
-- Handouts and answers are written only by the trainee functions, which look up the run, the
-- record and the handing-out in the same statement: foreign keys would check it all again at
-- every answer of every trainee.
CREATE TABLE kviront.handouts (
    run_id bigint NOT NULL,
    record integer NOT NULL,
    handed_at timestamptz NOT NULL,
    PRIMARY KEY (run_id, record)
);

-- One answer per record of a run: option 1 … 4, or 0 for a time-out. The verdict is NULL when
-- the record's right answer does not read as a number.
CREATE TABLE kviront.answers (
    run_id bigint NOT NULL,
    record integer NOT NULL,
    option smallint NOT NULL CHECK (option BETWEEN 0 AND 4),
    client_seconds double precision NOT NULL,
    server_seconds double precision NOT NULL,
    verdict boolean,
    answered_at timestamptz NOT NULL,
    PRIMARY KEY (run_id, record)
);

-- The program's own number rule for the right answer, under the run's decimal separator:
-- blanks (space, tab) around, an optional sign, digits with at most one separator, an
-- optional exponent; the text is then read as the nearest double and the answer is right when
-- it equals the option exactly. NULL when the text does not read as a number (the program
-- then gives no verdict); a time-out (option 0) is wrong whatever the record holds. Called by
-- answer() under its fixed search_path, and uses nothing outside pg_catalog.
CREATE FUNCTION kviront.verdict_of_text(p_text text, p_option integer, p_separator text)
RETURNS boolean
LANGUAGE plpgsql IMMUTABLE STRICT
AS $fn$
DECLARE
    t text := p_text;
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
        -- '.' then belongs nowhere in the text, and the separator stands where '.' would.
        IF strpos(t, '.') > 0 THEN
            RETURN NULL;
        END IF;
        t := replace(t, p_separator, '.');
    END IF;
    m := regexp_match(t, '^[ \t]*([+-]?)([0-9]*)(?:\.([0-9]*))?(?:[eE]([+-]?[0-9]+))?[ \t]*$');
    IF m IS NULL THEN
        RETURN NULL;
    END IF;
    digits := coalesce(m[2], '') || coalesce(m[3], '');
    IF digits = '' THEN
        RETURN NULL;
    END IF;
    significant := ltrim(digits, '0');
    IF significant = '' THEN
        RETURN false; -- zero reads, and is no option
    END IF;
    -- The decimal place of the first significant digit decides whether the value can be near
    -- an option (0.1 … 10) or beyond the largest double: far smaller or larger texts need no
    -- conversion, and an exponent of any length is handled without overflow.
    exponent := coalesce(m[4], '0');
    IF length(ltrim(ltrim(exponent, '+-'), '0')) > 18 THEN
        RETURN CASE WHEN left(exponent, 1) = '-' THEN false ELSE NULL END;
    END IF;
    place := length(coalesce(m[2], '')) - (length(digits) - length(significant)) - 1
             + exponent::bigint;
    IF place >= 309 THEN
        RETURN NULL; -- too large for a double
    ELSIF place < -1 OR (place > 0 AND place < 308) THEN
        RETURN false;
    END IF;
    IF place = 308 THEN -- near the largest double: only the conversion tells
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

-- Most banks hold one digit, which reads as itself (any other single character as none):
-- answered here, in SQL that the caller's plan takes in, without a call of the full rule.
CREATE FUNCTION kviront.verdict(p_text text, p_option integer, p_separator text)
RETURNS boolean
LANGUAGE sql IMMUTABLE STRICT
AS $fn$
    SELECT CASE
        WHEN p_option = 0 THEN false
        WHEN length(p_text) = 1 THEN
            CASE WHEN ascii(p_text) BETWEEN 48 AND 57 THEN ascii(p_text) - 48 = p_option END
        ELSE kviront.verdict_of_text(p_text, p_option, p_separator)
    END
$fn$;

-- A new run of the newest version of a bank. The token is the run's only handle: 122 random
-- bits that no client can guess.
CREATE FUNCTION kviront_api.start_run(p_bank text, p_trainee text, p_host text,
                                      p_allowed_seconds integer, p_decimal_separator text)
RETURNS TABLE (token uuid, version integer, record_count integer, api_version integer)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
#variable_conflict use_column
DECLARE
    v record;
    t uuid := gen_random_uuid();
BEGIN
    IF p_trainee IS NULL OR p_trainee = '' OR length(p_trainee) > 1000 THEN
        RAISE EXCEPTION 'недопустимое имя ученика' USING ERRCODE = 'KV006';
    END IF;
    IF p_host IS NULL OR length(p_host) > 255 THEN
        RAISE EXCEPTION 'недопустимое имя компьютера' USING ERRCODE = 'KV006';
    END IF;
    IF p_allowed_seconds IS NULL OR p_allowed_seconds NOT BETWEEN 1 AND 86400 THEN
        RAISE EXCEPTION 'недопустимое время на ответ' USING ERRCODE = 'KV006';
    END IF;
    IF p_decimal_separator IS NULL OR length(p_decimal_separator) <> 1
       OR strpos(E'0123456789+-eE \t', p_decimal_separator) > 0 THEN
        RAISE EXCEPTION 'недопустимый десятичный разделитель' USING ERRCODE = 'KV006';
    END IF;
    SELECT bv.id, bv.version, bv.record_count INTO v
      FROM kviront.banks b JOIN kviront.bank_versions bv ON bv.bank_id = b.id
     WHERE b.name = p_bank
     ORDER BY bv.version DESC LIMIT 1;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'на сервере нет банка «%»', p_bank USING ERRCODE = 'KV001';
    END IF;
    INSERT INTO kviront.runs (token, version_id, trainee, host, allowed_seconds,
                              decimal_separator, started_at)
    VALUES (t, v.id, p_trainee, p_host, p_allowed_seconds, p_decimal_separator,
            clock_timestamp());
    RETURN QUERY SELECT t, v.version, v.record_count, 1;
END
$fn$;

-- A record of the run, everything but its right answer. The first handing-out is recorded:
-- the server measures the answer's time from it, and only a record handed out may be answered.
-- Its commit does not wait for the disk: should the server crash within the moment it takes,
-- the record is handed out anew when the client asks for it again, while an answer's commit
-- always waits.
CREATE FUNCTION kviront_api.question(p_token uuid, p_record integer,
                                     OUT name text, OUT vopros text, OUT otvet1 text,
                                     OUT otvet2 text, OUT otvet3 text, OUT otvet4 text,
                                     OUT graph bytea)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
#variable_conflict use_column
DECLARE
    r record;
BEGIN
    SELECT runs.id, runs.ended_at, q.record AS found, q.name, q.vopros, q.otvet1, q.otvet2,
           q.otvet3, q.otvet4, q.graph
      INTO r
      FROM kviront.runs
      LEFT JOIN kviront.questions q ON q.version_id = runs.version_id AND q.record = p_record
     WHERE runs.token = p_token;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'неизвестный тест' USING ERRCODE = 'KV002';
    END IF;
    IF r.ended_at IS NOT NULL THEN
        RAISE EXCEPTION 'тест уже закончен' USING ERRCODE = 'KV003';
    END IF;
    IF r.found IS NULL THEN
        RAISE EXCEPTION 'в банке нет вопроса %', p_record USING ERRCODE = 'KV005';
    END IF;
    INSERT INTO kviront.handouts (run_id, record, handed_at)
    VALUES (r.id, p_record, clock_timestamp())
    ON CONFLICT DO NOTHING;
    IF FOUND THEN
        PERFORM set_config('synchronous_commit', 'off', true);
    END IF;
    name := r.name;
    vopros := r.vopros;
    otvet1 := r.otvet1;
    otvet2 := r.otvet2;
    otvet3 := r.otvet3;
    otvet4 := r.otvet4;
    graph := r.graph;
END
$fn$;

-- Records the answer to a handed-out record and returns its right answer and the verdict.
-- An answer already recorded for the record is returned unchanged, so a client that resends
-- after a lost connection never doubles one.
CREATE FUNCTION kviront_api.answer(p_token uuid, p_record integer, p_option integer,
                                   p_seconds double precision, OUT pr_otvet text,
                                   OUT verdict boolean, OUT option integer,
                                   OUT seconds double precision,
                                   OUT server_seconds double precision)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
#variable_conflict use_column
DECLARE
    r record;
    now_at timestamptz := clock_timestamp();
BEGIN
    -- The run, the record's handing-out, its right answer and any answer recorded, at once.
    SELECT runs.id, runs.ended_at, runs.decimal_separator, h.handed_at, q.pr_otvet,
           a.option AS given, a.verdict AS given_verdict, a.client_seconds AS given_seconds,
           a.server_seconds AS given_server_seconds
      INTO r
      FROM kviront.runs
      LEFT JOIN kviront.handouts h ON h.run_id = runs.id AND h.record = p_record
      LEFT JOIN kviront.questions q ON q.version_id = runs.version_id AND q.record = p_record
      LEFT JOIN kviront.answers a ON a.run_id = runs.id AND a.record = p_record
     WHERE runs.token = p_token;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'неизвестный тест' USING ERRCODE = 'KV002';
    END IF;
    pr_otvet := r.pr_otvet;
    IF r.given IS NOT NULL THEN
        verdict := r.given_verdict;
        option := r.given;
        seconds := r.given_seconds;
        server_seconds := r.given_server_seconds;
        RETURN;
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
    IF p_seconds IS NULL OR NOT (p_seconds >= 0 AND p_seconds <= 86400) THEN
        RAISE EXCEPTION 'недопустимое время ответа' USING ERRCODE = 'KV006';
    END IF;
    verdict := kviront.verdict(r.pr_otvet, p_option, r.decimal_separator);
    option := p_option;
    seconds := p_seconds;
    server_seconds := extract(epoch FROM now_at - r.handed_at)::double precision;
    INSERT INTO kviront.answers (run_id, record, option, client_seconds, server_seconds,
                                 verdict, answered_at)
    VALUES (r.id, p_record, p_option, p_seconds, server_seconds, verdict, now_at)
    ON CONFLICT DO NOTHING;
    IF NOT FOUND THEN
        -- A resend overtook this call: the answer it recorded is the one.
        SELECT a.verdict, a.option, a.client_seconds, a.server_seconds
          INTO verdict, option, seconds, server_seconds
          FROM kviront.answers a WHERE a.run_id = r.id AND a.record = p_record;
    END IF;
END
$fn$;

-- Ends the run, completed or not. A completed run must have an answer for every record. Ending
-- an ended run changes nothing and returns how it ended.
CREATE FUNCTION kviront_api.finish_run(p_token uuid, p_finished boolean)
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
     WHERE runs.token = p_token;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'неизвестный тест' USING ERRCODE = 'KV002';
    END IF;
    SELECT count(*) INTO answered FROM kviront.answers a WHERE a.run_id = r.id;
    IF r.ended_at IS NOT NULL THEN
        RETURN QUERY SELECT r.done, answered;
        RETURN;
    END IF;
    IF p_finished IS NULL OR (p_finished AND answered < r.record_count) THEN
        RAISE EXCEPTION 'тест не закончен: ответов % из %', answered, r.record_count
            USING ERRCODE = 'KV006';
    END IF;
    UPDATE kviront.runs SET ended_at = clock_timestamp(), finished = p_finished
     WHERE runs.id = r.id AND runs.ended_at IS NULL;
    RETURN QUERY SELECT p_finished, answered;
END
$fn$;

-- Nothing runs unless granted: the trainee role gets the four functions and nothing else,
-- the teacher role reads everything and adds banks.
REVOKE ALL ON ALL FUNCTIONS IN SCHEMA kviront, kviront_api FROM PUBLIC;
REVOKE ALL ON ALL TABLES IN SCHEMA kviront FROM PUBLIC;
GRANT USAGE ON SCHEMA kviront_api TO kviront_trainee;
GRANT EXECUTE ON FUNCTION
    kviront_api.start_run(text, text, text, integer, text),
    kviront_api.question(uuid, integer),
    kviront_api.answer(uuid, integer, integer, double precision),
    kviront_api.finish_run(uuid, boolean)
    TO kviront_trainee;
GRANT USAGE ON SCHEMA kviront TO kviront_teacher;
GRANT SELECT ON ALL TABLES IN SCHEMA kviront TO kviront_teacher;
GRANT INSERT ON kviront.banks, kviront.bank_versions, kviront.questions TO kviront_teacher;

RESET ROLE;

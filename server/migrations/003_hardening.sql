-- What every role of the cluster may do by default and nothing of ours needs, taken away; a
-- bounded share of the connections for each of our roles; and the lock a publisher takes,
-- which only the teacher may hold.

-- No temporary tables and no large objects: a trainee's login must not give room to keep data
-- or to pass it between sessions. A fresh PostgreSQL 15 database lets nobody create in its
-- public schema; one upgraded from an older server still lets everyone.
DO $public$
BEGIN
    EXECUTE format('REVOKE TEMPORARY ON DATABASE %I FROM PUBLIC', current_database());
END
$public$;
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
REVOKE EXECUTE ON FUNCTION
    pg_catalog.lo_creat(integer),
    pg_catalog.lo_create(oid),
    pg_catalog.lo_from_bytea(oid, bytea),
    pg_catalog.lo_import(text),
    pg_catalog.lo_import(text, oid)
    FROM PUBLIC;

-- Trainees may not take every connection: the last slots stay for the teacher (10 of them)
-- and the administrator's other roles (5), as the server is configured when this runs (after
-- raising max_connections, raise the trainee role's limit with ALTER ROLE … CONNECTION LIMIT).
DO $limits$
DECLARE
    slots integer := current_setting('max_connections')::integer
                     - current_setting('superuser_reserved_connections')::integer;
BEGIN
    ALTER ROLE kviront_teacher CONNECTION LIMIT 10;
    EXECUTE format('ALTER ROLE kviront_trainee CONNECTION LIMIT %s', greatest(slots - 15, 1));
END
$limits$;

-- Who holds a lock a teacher's tool waits for, with where from and since when, for the tool's
-- message. A session's address and times are shown only to its own role and to readers of
-- all statistics: the owner becomes one, and lends it to this query alone.
GRANT pg_read_all_stats TO kviront_owner;

SET LOCAL ROLE kviront_owner;

-- Publishing takes this table's lock, which needs the right to change it: the teacher role has
-- it, the trainee role cannot even see the schema.
CREATE TABLE kviront.publish_lock ();
REVOKE ALL ON kviront.publish_lock FROM PUBLIC;
GRANT UPDATE ON kviront.publish_lock TO kviront_teacher;

CREATE FUNCTION kviront.lock_holders(p_table regclass)
RETURNS TABLE (user_name text, address text, since timestamptz)
LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $fn$
    SELECT DISTINCT a.usename::text, host(a.client_addr), a.xact_start
      FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid
     WHERE l.locktype = 'relation' AND l.relation = p_table AND l.granted
       AND l.mode <> 'AccessShareLock' AND l.pid <> pg_backend_pid()
       AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())
$fn$;
REVOKE ALL ON FUNCTION kviront.lock_holders(regclass) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION kviront.lock_holders(regclass) TO kviront_teacher;

RESET ROLE;

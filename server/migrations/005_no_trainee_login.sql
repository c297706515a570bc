-- Trainees' programs speak to kviront-server only. The trainee role of the first schema may no
-- longer log in, and the four calls it made go with their grants: a login that can change its
-- own password and settings, or roll back what it was told, has no place beside the server.
-- Runs taken through those calls stay, as every run does. A program of that time is told by
-- its server bank file, before it reaches the server, that the file is out of date.
ALTER ROLE kviront_trainee NOLOGIN CONNECTION LIMIT 0;

SET LOCAL ROLE kviront_owner;

DROP FUNCTION kviront_api.start_run(text, text, text, integer, text);
DROP FUNCTION kviront_api.question(uuid, integer);
DROP FUNCTION kviront_api.answer(uuid, integer, integer, double precision);
DROP FUNCTION kviront_api.finish_run(uuid, boolean);
DROP TYPE kviront_api.answer_row;
REVOKE ALL ON SCHEMA kviront_api FROM kviront_trainee;

RESET ROLE;

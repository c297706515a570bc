#pragma once

// The SQL of the four trainee calls, exactly as the program sends them: each an unnamed
// statement with its values as parameters. Kept here so that what drives a simulated class
// sends the very text a trainee's program does.
namespace serverbank::calls {

inline constexpr const char* startRun = "SELECT token, version, record_count, api_version "
                                        "FROM kviront_api.start_run($1, $2, $3, $4, $5)";
// Asked for with binary results: the picture arrives as its bytes.
inline constexpr const char* question =
    "SELECT name, vopros, otvet1, otvet2, otvet3, otvet4, graph "
    "FROM kviront_api.question($1, $2)";
inline constexpr const char* answer = "SELECT pr_otvet, verdict, option, seconds, server_seconds "
                                      "FROM kviront_api.answer($1, $2, $3, $4)";
inline constexpr const char* finishRun = "SELECT finished FROM kviront_api.finish_run($1, $2)";

} // namespace serverbank::calls

#pragma once

#include "error.h"

// A failure of the classroom server, with a Russian message that names the server and the
// reason. The kind tells a caller what to do: only a lost connection is worth a resend (the
// server answers a resent answer with the first one).
class ServerError : public DatabaseError {
public:
    enum class Kind {
        Unreachable,   // no connection, or it broke during a call: retry later
        LoginRefused,  // the server is there and refused the login (password, user, database)
        SchemaMissing, // no schema, or one older than this program
        SchemaTooNew,  // a schema newer than this program
        AccessDenied,  // the role may not do this
        BankUnknown,   // no bank of that name
        RunUnknown,    // a token the server does not know
        RunFinished,   // the run has ended
        NotHandedOut,  // the record was never handed out in this run
        NoSuchRecord,  // the bank has no such record
        Refused,       // an argument the server refuses
        Busy,          // a lock another session holds was waited for long enough
        Other,
    };

    ServerError(Kind kind, QString message) : DatabaseError(std::move(message)), m_kind(kind) {}
    Kind kind() const { return m_kind; }
    bool connectionLost() const { return m_kind == Kind::Unreachable; }

private:
    Kind m_kind;
};

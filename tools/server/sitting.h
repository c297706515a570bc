#pragma once

#include "classapi.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// Sittings on the class server, the teacher's side: a published version opened for a class
// with a code per trainee (only the codes' hashes are stored; the codes are printed once, on
// the slips), closed, listed; banks and versions withdrawn.
namespace serversitting {

struct OpenOptions {
    QString conninfo; // the teacher's connection
    QString bank;     // the bank's name on the server
    int version = 0;  // 0: the newest
    QString name;     // the sitting's name; empty: the bank's name and the time
    int seconds = 0;  // per question: 30, 35, 45 or 60
    QChar separator = QLatin1Char('.');
    int grace = 5;
    QDateTime from;         // no runs start before then; invalid: from now
    QDateTime until;        // no new runs from then on; invalid: until closed
    QStringList trainees;   // the class list: a code for each name
    int count = 0;          // and so many codes without a name (spares, or a class without a list)
    QString url;            // the server's address; empty: as setup stored it
    QByteArray certificate; // PEM; empty: as setup stored it
    QString link;           // the server bank file to write; empty: "<name>.mdb" here
    QString slips;          // the slips (HTML) to write; empty: "<name> — коды.html" here
    classapi::Grades grades;
    bool showGrade = false;   // the trainee's result notice shows the grade too
    bool ownOrder = false;    // every run its own order of questions
    bool hideAnswers = false; // no right answer goes to the trainees' programs
};

struct Code {
    int position = 0;
    QString trainee; // empty for an unnamed code
    QString code;    // as stored: upper case, no dashes
};

struct Opened {
    QString name, bank;
    int version = 0, records = 0, seconds = 0;
    QDateTime openedAt, until;
    QString url, link, slips;
    QList<Code> codes;
    QString pageUrl;    // the live class page
    QString teacherKey; // its key, as stored: printed once, only its hash is kept
};

// Opens the sitting and writes its two files; nothing is stored unless both are written, and
// neither is left behind unless it is stored. Throws Error naming what is wrong.
Opened open(const OpenOptions& options);

// No new runs from now on; runs under way finish. False when it was closed already. Throws
// Error for an unknown sitting.
bool close(const QString& conninfo, const QString& name);

// A new teacher key for the sitting's class page (the old one no longer opens it): the key,
// and the page's address as setup stored the server's. Throws Error for an unknown sitting.
struct NewKey {
    QString key, pageUrl;
};
NewKey newTeacherKey(const QString& conninfo, const QString& name);

struct Listed {
    QString name, bank, state;
    int version = 0, seconds = 0, codes = 0, started = 0, finished = 0;
    QDateTime opensAt, closesAt;
};
QList<Listed> list(const QString& conninfo);

// Withdraws a bank (version 0) or one version: no run starts on it and no question of it is
// handed out any more. False when it was withdrawn already. Throws Error when unknown.
bool withdraw(const QString& conninfo, const QString& bank, int version);

// A class list: UTF-8 text, one name a line; blank lines are skipped. Throws Error naming the
// file and line of what cannot be a name.
QStringList readClassList(const QString& path);

// A new code of classapi's alphabet and `length`, from the system's random source.
QString newCode(int length = classapi::codeLength);

// A file name made from a sitting's name: one name in the current folder, never a path.
QString fileNameFor(const QString& sitting, const QString& suffix);

} // namespace serversitting

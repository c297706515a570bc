// Running the reader process and decoding what it streams.
#include "jetbank.h"

#include "error.h"
#include "jetstream.h"
#include "jetstream_format.h"
#include "oleobject.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <sys/resource.h>

#ifndef KV_LIBEXEC_FROM_BIN
#define KV_LIBEXEC_FROM_BIN "../libexec/kviront"
#endif

namespace jetbank {
namespace {

const char readerName[] = "kviront-jetread";
QString testProgram;
int wallMs = wallSeconds * 1000;

[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw DatabaseError(
        QStringLiteral("Не удалось прочитать банк старого формата «%1»: %2").arg(path, reason));
}

void limit(int resource, rlim_t value) {
    const struct rlimit limits = {value, value};
    setrlimit(resource, &limits);
}

// Runs in the child between fork and exec: only system calls.
void limitChild() {
    limit(RLIMIT_AS, rlim_t(memoryBytes));
    limit(RLIMIT_CPU, rlim_t(cpuSeconds));
    limit(RLIMIT_CORE, 0);
    limit(RLIMIT_FSIZE, 0); // it writes no file
}

// The stream can hardly be larger than a few times the file; more is a runaway reader.
qint64 streamLimit(const QString& path) {
    return qMin<qint64>(64LL * 1024 * 1024 + 4 * QFileInfo(path).size(), 1LL << 30);
}

QByteArray runReader(const QString& path, const QString& table) {
    const QString program = readerProgram();
    if (program.isEmpty())
        fail(path, QStringLiteral("не найдена программа чтения %1").arg(readerName));
    QProcess process;
    process.setProgram(program);
    process.setArguments({path, table});
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier(limitChild);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(wallMs))
        fail(path, QStringLiteral("не запускается программа чтения %1: %2")
                       .arg(program, process.errorString()));
    const qint64 maxBytes = streamLimit(path);
    QDeadlineTimer deadline(wallMs);
    QByteArray stream;
    for (;;) {
        stream += process.readAllStandardOutput();
        if (stream.size() > maxBytes) {
            process.kill();
            process.waitForFinished(-1);
            fail(path, QStringLiteral("программа чтения выдала слишком много данных"));
        }
        if (process.state() == QProcess::NotRunning)
            break;
        if (deadline.hasExpired()) {
            process.kill();
            process.waitForFinished(-1);
            fail(path, QStringLiteral("чтение не закончилось за %1 с").arg(wallMs / 1000.0));
        }
        const int wait = int(qMin<qint64>(deadline.remainingTime(), 250));
        if (!process.waitForReadyRead(wait) && process.state() != QProcess::NotRunning)
            process.waitForFinished(wait); // output closed, or nothing yet
    }
    stream += process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::CrashExit)
        fail(path, QStringLiteral("программа чтения аварийно завершилась (файл повреждён или "
                                  "превышен предел памяти или времени)"));
    if (process.exitCode() != 0)
        fail(path,
             QStringLiteral("программа чтения завершилась с кодом %1").arg(process.exitCode()));
    return stream;
}

// Jet 3 texts arrive one Latin-1 character per byte of the file's code page.
class TextDecoder {
public:
    TextDecoder(int version, int codePage) : m_jet3(version == 3) {
        if (!m_jet3)
            return;
        m_name = QStringLiteral("windows-%1").arg(codePage);
        if (!QStringDecoder(m_name.toLatin1().constData()).isValid())
            m_name = QStringLiteral("windows-1251"); // Russian banks, when the page is odd
    }
    QString operator()(const QByteArray& bytes) const {
        const QString text = QString::fromUtf8(bytes);
        if (!m_jet3)
            return text;
        QStringDecoder decoder(m_name.toLatin1().constData());
        return decoder(text.toLatin1());
    }

private:
    bool m_jet3;
    QString m_name;
};

QVariant decode(int kind, const QByteArray& bytes, const TextDecoder& text, bool picture) {
    if (bytes.isNull())
        return QVariant();
    switch (kind) {
    case jetstream::kindInteger: {
        bool ok = false;
        const qint64 number = bytes.toLongLong(&ok);
        return ok ? QVariant(number) : QVariant(text(bytes));
    }
    case jetstream::kindBinary: {
        if (picture && oleobject::isOleObject(bytes)) {
            const QByteArray bmp = oleobject::embeddedBitmap(bytes);
            if (!bmp.isNull())
                return QVariant(bmp);
        }
        return QVariant(bytes);
    }
    default:
        return QVariant(text(bytes));
    }
}

} // namespace

void setReader(const QString& program, int wallMilliseconds) {
    testProgram = program;
    wallMs = program.isEmpty() ? wallSeconds * 1000 : wallMilliseconds;
}

QString readerProgram() {
    if (!testProgram.isEmpty())
        return testProgram;
    if (!QCoreApplication::instance())
        return QString();
    const QFileInfo reader(
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral(KV_LIBEXEC_FROM_BIN "/") + QLatin1String(readerName)));
    if (!reader.isFile() || !reader.isExecutable())
        return QString();
    return QDir::cleanPath(reader.absoluteFilePath());
}

Table readTable(const QString& path, const QString& tableName) {
    jetstream::Table raw;
    try {
        raw = jetstream::parse(runReader(path, tableName));
    } catch (const DatabaseError&) {
        throw;
    } catch (const Error& e) {
        fail(path, e.message());
    }
    Table table;
    table.version = raw.version;
    table.found = raw.found;
    table.kinds = raw.kinds;
    const TextDecoder text(raw.version, raw.codePage);
    for (const QString& name : raw.names)
        table.names << text(name.toUtf8());
    table.rows.reserve(raw.rows.size());
    for (const auto& rawRow : raw.rows) {
        QVector<QVariant> row(rawRow.size());
        for (int i = 0; i < rawRow.size(); ++i) {
            const bool picture =
                raw.names[i].compare(QLatin1String("Graph"), Qt::CaseInsensitive) == 0;
            row[i] = decode(raw.kinds[i], rawRow[i], text, picture);
        }
        table.rows.append(std::move(row));
    }
    return table;
}

} // namespace jetbank

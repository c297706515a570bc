// Running the reader process and decoding what it streams.
#include "jetbank.h"
#include "jetbank_hook.h"

#include "error.h"
#include "jetstream.h"
#include "jetstream_format.h"
#include "oleobject.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>
#include <optional>
#include <sys/resource.h>

#ifndef KV_LIBEXEC_FROM_BIN
#define KV_LIBEXEC_FROM_BIN "../libexec/kviront"
#endif

namespace jetbank {

QString hook::readerProgram;
int hook::wallMs = wallSeconds * 1000;

namespace {

const char readerName[] = "kviront-jetread";
// A killed reader is gone within milliseconds; the wait for it is bounded all the same.
constexpr int reapMs = 5000;

[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw ReadError(
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

// Runs the reader and hands what it writes to `parser` as it comes, so that the stream is
// never held whole. Errors of the reader and of its stream become the read's error; those the
// parser's handlers throw pass as they are.
void runReader(const QString& path, const QString& table, jetstream::Parser& parser) {
    const QString program = readerProgram();
    if (program.isEmpty())
        fail(path, QStringLiteral("не найдена программа чтения %1").arg(readerName));
    QProcess process;
    // Whatever ends the read, the reader is ended and reaped before the QProcess goes, which
    // would otherwise warn in English on the user's terminal. A killed process ends at once;
    // the wait is bounded all the same.
    const auto reap = qScopeGuard([&process] {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished(reapMs);
    });
    process.setProgram(program);
    process.setArguments({path, table});
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier(limitChild);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(hook::wallMs))
        fail(path, QStringLiteral("не запускается программа чтения %1: %2")
                       .arg(program, process.errorString()));
    const qint64 maxBytes = streamLimit(path);
    QDeadlineTimer deadline(hook::wallMs);
    qint64 total = 0;
    const auto take = [&] {
        const QByteArray chunk = process.readAllStandardOutput();
        total += chunk.size();
        if (total > maxBytes)
            fail(path, QStringLiteral("программа чтения выдала слишком много данных"));
        try {
            parser.feed(chunk);
        } catch (const jetstream::StreamError& e) {
            fail(path, e.message());
        }
    };
    for (;;) {
        take();
        if (process.state() == QProcess::NotRunning)
            break;
        if (deadline.hasExpired())
            fail(path, QStringLiteral("чтение не закончилось за %1 с").arg(hook::wallMs / 1000.0));
        const int wait = int(qMin<qint64>(deadline.remainingTime(), 250));
        if (!process.waitForReadyRead(wait) && process.state() != QProcess::NotRunning)
            process.waitForFinished(wait); // output closed, or nothing yet
    }
    take();
    if (process.exitStatus() == QProcess::CrashExit)
        fail(path, QStringLiteral("программа чтения аварийно завершилась (файл повреждён или "
                                  "превышен предел памяти или времени)"));
    if (process.exitCode() != 0)
        fail(path,
             QStringLiteral("программа чтения завершилась с кодом %1").arg(process.exitCode()));
    try {
        parser.finish();
    } catch (const jetstream::StreamError& e) {
        fail(path, e.message());
    }
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

QString readerProgram() {
    if (!hook::readerProgram.isEmpty())
        return hook::readerProgram;
    if (!QCoreApplication::instance())
        return QString();
    const QFileInfo reader(
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral(KV_LIBEXEC_FROM_BIN "/") + QLatin1String(readerName)));
    if (!reader.isFile() || !reader.isExecutable())
        return QString();
    return QDir::cleanPath(reader.absoluteFilePath());
}

void readTable(const QString& path, const QString& tableName,
               const std::function<void(const Columns&)>& columns,
               const std::function<void(QVector<QVariant>& row)>& row) {
    jetstream::Parser parser;
    std::optional<TextDecoder> text;
    QVector<bool> pictures; // per column: Graph, whose OLE-wrapped bitmaps are unwrapped
    QVector<int> kinds;
    parser.onHeader = [&](const jetstream::Header& header) {
        text.emplace(header.version, header.codePage);
        Columns found;
        found.version = header.version;
        found.found = header.found;
        found.kinds = kinds = header.kinds;
        for (const QString& name : header.names) {
            found.names << (*text)(name.toUtf8());
            pictures << (name.compare(QLatin1String("Graph"), Qt::CaseInsensitive) == 0);
        }
        columns(found);
    };
    QVector<QVariant> values;
    parser.onRow = [&](QVector<QByteArray>& raw) {
        values.resize(raw.size());
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i].isNull()) { // NULL: by far the commonest value of a table of many columns
                if (values[i].isValid())
                    values[i] = QVariant();
                continue;
            }
            values[i] = decode(kinds[i], raw[i], *text, pictures[i]);
            raw[i].clear(); // let each value go as soon as it has its decoded form
        }
        row(values);
    };
    runReader(path, tableName, parser);
}

} // namespace jetbank

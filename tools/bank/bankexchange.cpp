#include "bankexchange.h"

#include "adoconnection.h"
#include "adotable.h"
#include "aiken.h"
#include "bankcheck.h"
#include "bankfile.h"
#include "bitmap.h"
#include "csvbank.h"
#include "error.h"
#include "gift.h"
#include "moodlexml.h"
#include "stagedfile.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <optional>
#include <vector>

namespace bankexchange {
namespace {

using namespace Qt::Literals::StringLiterals;
using exchange::Question;

constexpr qint64 maxTextSource = 64 * 1024 * 1024;

Format formatOf(const QString& path, Format given, bool forExport) {
    if (given != Format::Guess)
        return given;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const Format guessed = formatNamed(suffix);
    if (guessed == Format::Guess ||
        (forExport && (guessed == Format::Gift || guessed == Format::Aiken)))
        throw Error(
            forExport
                ? u"«%1»: по расширению не понять формат; выгрузка бывает в .xml (Moodle XML) "
                  u"и .csv"_s.arg(path)
                : u"«%1»: по расширению не понять формат; укажите --format moodle, gift, "
                  u"aiken или csv"_s.arg(path));
    return guessed;
}

void readSource(const ImportOptions& o, Format format, exchange::Result& result) {
    if (format == Format::MoodleXml) {   // read as it streams: sources with pictures are large
        textfile::readHead(o.source, 0); // refuses what cannot be read, saying why
        QFile file(o.source);
        if (!file.open(QIODevice::ReadOnly))
            throw Error(u"Не удалось открыть файл «%1»"_s.arg(o.source));
        exchange::moodlexml::read(&file, result);
        return;
    }
    const QByteArray bytes = textfile::readFile(o.source, maxTextSource);
    if (format == Format::Gift)
        exchange::gift::read(bytes, result);
    else if (format == Format::Aiken)
        exchange::aiken::read(bytes, result);
    else
        exchange::csvbank::read(
            bytes, exchange::csvbank::filesIn(QFileInfo(o.source).absolutePath()), result);
}

bankfile::Question toRecord(const Question& q) {
    bankfile::Question r;
    r.name = q.name;
    r.vopros = q.vopros;
    for (int k = 0; k < 4; ++k)
        r.otvet[k] = q.otvet[k];
    r.prOtvet = q.prOtvet;
    r.graph = q.graph;
    return r;
}

// A file written as it goes through a device, staged beside its target. Writes are gathered
// into large ones; the first failure is kept, with the file and the reason, and ends writing.
class StagedDevice : public QIODevice {
public:
    explicit StagedDevice(const QString& path) : m_file(path) { open(QIODevice::WriteOnly); }
    textfile::StagedFile& file() { return m_file; }
    // The bytes on disk and synced, or the first failure thrown.
    void finish() {
        drain();
        if (m_failure)
            throw *m_failure;
        m_file.finish();
    }
    void throwIfFailed() const {
        if (m_failure)
            throw *m_failure;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (m_failure)
            return -1;
        m_buffer.append(data, size);
        if (m_buffer.size() >= 256 * 1024)
            drain();
        return m_failure ? -1 : size;
    }

private:
    void drain() {
        if (m_failure || m_buffer.isEmpty())
            return;
        try {
            m_file.write(m_buffer);
        } catch (const FileError& e) {
            m_failure = e;
            setErrorString(e.message());
        }
        m_buffer.clear();
    }

    textfile::StagedFile m_file;
    QByteArray m_buffer;
    std::optional<FileError> m_failure;
};

// Files written under temporary names in the target's folder, given their names when all are
// complete; removed if anything fails. An existing file is never replaced.
class Output {
public:
    // The main file, written as it goes.
    StagedDevice* open(const QString& path) {
        textfile::refuseExisting(path);
        m_main = std::make_unique<StagedDevice>(path);
        return m_main.get();
    }
    void closeMain() { m_main->finish(); }
    void writeFile(const QString& path, const QByteArray& bytes) {
        textfile::refuseExisting(path);
        m_files.push_back(std::make_unique<textfile::StagedFile>(path));
        m_files.back()->write(bytes);
        m_files.back()->finish();
    }
    void commit() {
        m_main->file().place(textfile::StagedFile::New);
        for (const auto& file : m_files)
            file->place(textfile::StagedFile::New);
    }

private:
    std::unique_ptr<StagedDevice> m_main;
    std::vector<std::unique_ptr<textfile::StagedFile>> m_files;
};

QString picturePath(const QString& target, int recNo) {
    const QFileInfo info(target);
    return info.dir().filePath(u"%1-%2.bmp"_s.arg(info.completeBaseName()).arg(recNo));
}

} // namespace

void readBank(const QString& path, const std::function<void(const Question&)>& visit) {
    ADOConnection connection; // names a missing or refused file and why
    ADOTable table(&connection);
    connection.setConnectionString(path);
    connection.open();
    table.open();
    for (const char* field :
         {"Name", "Vopros", "Otvet1", "Otvet2", "Otvet3", "Otvet4", "PrOtvet", "Graph"})
        if (!table.hasField(QLatin1String(field)))
            throw Error(u"в таблице kontrol банка «%1» нет поля %2: программа его не откроет"_s.arg(
                path, QLatin1String(field)));
    for (int recNo = 1; !table.eof(); table.next(), ++recNo) {
        Question q;
        q.line = recNo;
        q.name = table.fieldText(u"Name"_s);
        q.vopros = table.fieldText(u"Vopros"_s);
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = table.fieldText(u"Otvet%1"_s.arg(k + 1));
        q.prOtvet = table.fieldText(u"PrOtvet"_s);
        q.graph = table.fieldBytes(u"Graph"_s);
        visit(q);
    }
}

Format formatNamed(const QString& name) {
    const QString n = name.toLower();
    if (n == u"moodle" || n == u"xml")
        return Format::MoodleXml;
    if (n == u"gift")
        return Format::Gift;
    if (n == u"aiken")
        return Format::Aiken;
    if (n == u"csv")
        return Format::Csv;
    return Format::Guess;
}

int importBank(const ImportOptions& o, Report& report) {
    const Format format = formatOf(o.source, o.format, false);
    std::unique_ptr<bankfile::Writer> writer;
    bankfile::refuseExisting(o.bank);
    if (!o.dryRun)
        writer = std::make_unique<bankfile::Writer>(o.bank);
    exchange::Result result;
    result.sink = [&](const Question& q) {
        if (writer && (o.skipBad || result.refusals.isEmpty()))
            writer->add(toRecord(q));
    };
    readSource(o, format, result);
    const QString name = QFileInfo(o.source).fileName();
    for (const auto& m : result.refusals)
        report.err << u"%1: строка %2: %3"_s.arg(name).arg(m.line).arg(m.text);
    for (const auto& m : result.notes)
        report.out << u"%1: строка %2: %3"_s.arg(name).arg(m.line).arg(m.text);
    const QString counts = u"вопросов прочитано %1, отказано %2"_s.arg(result.taken)
                               .arg(result.refusals.size() - (result.broken ? 1 : 0));
    QString stop;
    if (result.broken)
        stop = u"файл прочитан не до конца"_s;
    else if (!result.refusals.isEmpty() && !o.skipBad)
        stop = u"есть отказы (--skip-bad: взять остальные вопросы)"_s;
    else if (result.taken == 0)
        stop = u"нет ни одного вопроса"_s;
    if (!stop.isEmpty()) {
        report.err << u"%1; %2: банк «%3» не записан"_s.arg(counts, stop, o.bank);
        return 1;
    }
    if (o.dryRun) {
        report.out << u"%1; банк «%2» был бы записан (--dry-run)"_s.arg(counts, o.bank);
        return 0;
    }
    writer->commit();
    report.out << u"%1; банк «%2» записан"_s.arg(counts, o.bank);
    return 0;
}

int exportBank(const QString& bank, const QString& target, Format given, bool skipBad,
               Report& report) {
    const Format format = formatOf(target, given, true);
    Output output;
    StagedDevice* device = output.open(target);
    std::unique_ptr<exchange::moodlexml::Writer> xml;
    std::unique_ptr<exchange::csvbank::Writer> csv;
    if (format == Format::MoodleXml)
        xml = std::make_unique<exchange::moodlexml::Writer>(device);
    else
        csv = std::make_unique<exchange::csvbank::Writer>(device);
    int written = 0, refused = 0;
    readBank(bank, [&](const Question& record) {
        QByteArray picture; // CSV: the bitmap file beside it
        try {
            if (xml) {
                if (const int replaced = xml->add(record))
                    report.out << u"запись %1: знаков, которых нет в XML, заменено на «�»: %2"_s
                                      .arg(record.line)
                                      .arg(replaced);
            } else {
                Question q = record;
                q.prOtvet = exchange::answerNumber(record.prOtvet.toString());
                if (q.prOtvet.toInt() == 0)
                    throw Error(u"номер правильного ответа «%1» — не 1, 2, 3 или 4"_s.arg(
                        record.prOtvet.toString()));
                if (!q.graph.isEmpty()) {
                    bitmap::checkGraph(q.graph);
                    picture = q.graph.mid(bitmap::hasGraphPrefix(q.graph) ? 8 : 0);
                }
                const QString path = picturePath(target, record.line);
                csv->add(q, picture.isEmpty() ? QString() : QFileInfo(path).fileName());
            }
            ++written;
        } catch (const Error& e) {
            ++refused;
            report.err << u"запись %1: не выгружена: %2"_s.arg(record.line).arg(e.message());
            return;
        }
        if (!picture.isEmpty())
            output.writeFile(picturePath(target, record.line), picture);
    });
    try {
        if (xml)
            xml->finish();
        else
            csv->finish();
    } catch (const Error&) {
        device->throwIfFailed(); // the file and the system's reason, not only "cannot write"
        throw;
    }
    output.closeMain();
    if (refused > 0 && !skipBad) {
        report.err << u"записей выгружено бы %1, не выгружено %2 (--skip-bad: выгрузить "
                      u"остальные): «%3» не записан"_s.arg(written)
                          .arg(refused)
                          .arg(target);
        return 1;
    }
    output.commit();
    report.out
        << u"записей выгружено %1, не выгружено %2: «%3» записан"_s.arg(written).arg(refused).arg(
               target);
    return 0;
}

int checkBank(const QString& bank, Report& report) {
    exchange::BankChecker checker;
    int records = 0, faulty = 0;
    readBank(bank, [&](const Question& record) {
        ++records;
        const QStringList problems = checker.check(record);
        if (!problems.isEmpty())
            ++faulty;
        for (const QString& p : problems)
            report.out << u"запись %1: %2"_s.arg(record.line).arg(p);
    });
    report.out << u"записей %1, с замечаниями %2"_s.arg(records).arg(faulty);
    return faulty == 0 ? 0 : 1;
}

} // namespace bankexchange

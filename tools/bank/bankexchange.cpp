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
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <memory>

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
    if (format == Format::MoodleXml) { // read as it streams: sources with pictures are large
        QFile file(o.source);
        if (!file.open(QIODevice::ReadOnly))
            throw Error(u"Не удалось открыть файл «%1»: %2"_s.arg(o.source, file.errorString()));
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

// Files written under temporary names in the target's folder, renamed when all are complete;
// removed if anything fails. An existing file is never replaced.
class Output {
public:
    ~Output() {
        m_main.reset();
        for (const auto& f : m_files)
            QFile::remove(f.temp);
    }
    // The main file, written as it goes.
    QIODevice* open(const QString& path) {
        m_main = start(path);
        return m_main.get();
    }
    void closeMain() { finish(std::move(m_main)); }
    void writeFile(const QString& path, const QByteArray& bytes) {
        auto file = start(path);
        file->write(bytes);
        finish(std::move(file));
    }
    void commit() {
        for (qsizetype i = 0; i < m_files.size(); ++i)
            if (!QFile::rename(m_files[i].temp, m_files[i].path)) {
                for (qsizetype j = 0; j < i; ++j)
                    QFile::remove(m_files[j].path);
                throw Error(u"Не удаётся записать «%1»: такой файл уже есть или папка "
                            u"недоступна"_s.arg(m_files[i].path));
            }
        m_files.clear();
    }

private:
    std::unique_ptr<QTemporaryFile> start(const QString& path) {
        if (QFileInfo::exists(path))
            throw Error(u"«%1» уже есть: выгрузка ничего не заменяет"_s.arg(path));
        auto file = std::make_unique<QTemporaryFile>(path + u".XXXXXX"_s);
        file->setAutoRemove(false);
        if (!file->open())
            throw Error(u"Не удаётся записать «%1»: %2"_s.arg(path, file->errorString()));
        m_files.push_back({file->fileName(), path});
        return file;
    }
    void finish(std::unique_ptr<QTemporaryFile> file) {
        const bool ok = file->flush() && file->error() == QFileDevice::NoError;
        const QString reason = file->errorString();
        file->close();
        if (!ok)
            throw Error(u"Не удаётся записать «%1»: %2"_s.arg(m_files.back().path, reason));
    }

    struct File {
        QString temp, path;
    };
    QVector<File> m_files;
    std::unique_ptr<QTemporaryFile> m_main;
};

QString picturePath(const QString& target, int recNo) {
    const QFileInfo info(target);
    return info.dir().filePath(u"%1-%2.bmp"_s.arg(info.completeBaseName()).arg(recNo));
}

} // namespace

void readBank(const QString& path, const std::function<void(const Question&)>& visit) {
    if (!QFileInfo(path).isFile())
        throw Error(u"Нет файла банка вопросов «%1»"_s.arg(path));
    ADOConnection connection;
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
    if (QFileInfo::exists(o.bank))
        throw Error(u"Не удаётся создать банк вопросов «%1»: такой файл уже есть"_s.arg(o.bank));
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
    QIODevice* device = output.open(target);
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
    if (xml)
        xml->finish();
    else
        csv->finish();
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

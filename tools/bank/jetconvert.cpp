#include "jetconvert.h"

#include "bankfile.h"
#include "bitmap.h"
#include "error.h"
#include "jetbank.h"
#include "textfile.h"

#include <memory>

namespace jetconvert {
namespace {

const QStringList requiredFields{QStringLiteral("Name"),    QStringLiteral("Vopros"),
                                 QStringLiteral("Otvet1"),  QStringLiteral("Otvet2"),
                                 QStringLiteral("Otvet3"),  QStringLiteral("Otvet4"),
                                 QStringLiteral("PrOtvet"), QStringLiteral("Graph")};

// The file to convert, checked before the reader runs. Read first, so that a file the user may
// not read is named as such, not as a stranger.
void checkOld(const QString& oldPath) {
    QByteArray head;
    try {
        head = textfile::readHead(oldPath, jetbank::headerBytes);
    } catch (const FileError& e) {
        throw Error(
            QStringLiteral("Не удаётся прочитать банк вопросов «%1»: %2").arg(oldPath, e.reason()));
    }
    if (jetbank::jetVersionOf(head) == 0)
        throw Error(QStringLiteral("Файл «%1» не является банком вопросов старого формата "
                                   "(базой данных Jet)")
                        .arg(oldPath));
}

// The table must be one the program opens; pictures it would refuse are not carried over.
jetbank::CopyChecks checks(const QString& oldPath, Result& result) {
    auto graph = std::make_shared<int>(-1);
    jetbank::CopyChecks checks;
    checks.columns = [oldPath, graph](const jetbank::Columns& columns) {
        if (!columns.found)
            throw Error(QStringLiteral("В банке вопросов «%1» нет таблицы kontrol").arg(oldPath));
        for (const QString& field : requiredFields)
            if (!columns.names.contains(field, Qt::CaseInsensitive))
                throw Error(QStringLiteral("В таблице kontrol банка вопросов «%1» нет поля %2")
                                .arg(oldPath, field));
        for (int i = 0; i < columns.names.size(); ++i)
            if (columns.names[i].compare(QLatin1String("Graph"), Qt::CaseInsensitive) == 0)
                *graph = i;
    };
    checks.row = [graph, &result](int number, QVector<QVariant>& row) {
        QVariant& value = row[*graph];
        if (!value.isValid())
            return;
        try {
            bitmap::checkGraph(value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                       : value.toString().toUtf8());
        } catch (const Error& e) {
            result.refused << QStringLiteral("запись %1: рисунок не перенесён (%2)")
                                  .arg(QString::number(number), e.message());
            value = QVariant();
        }
    };
    return checks;
}

// Writes the new bank under a temporary name beside it, read from the old one as it streams.
void writeBank(const QString& oldPath, const QString& path, Result& result) {
    bankfile::NewDatabase bank(path);
    try {
        jetbank::copyTable(bank.handle(), oldPath, checks(oldPath, result), &result.questions);
    } catch (const jetbank::ReadError&) {
        throw; // names the old bank
    } catch (const DatabaseError& e) {
        bank.fail(e.message());
    }
    bank.place();
}

} // namespace

Result convert(const QString& oldPath, const QString& newPath) {
    bankfile::refuseExisting(newPath); // before the old bank is read
    checkOld(oldPath);
    Result result;
    writeBank(oldPath, newPath, result);
    return result;
}

} // namespace jetconvert

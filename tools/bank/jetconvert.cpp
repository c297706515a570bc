#include "jetconvert.h"

#include "bankfile.h"
#include "bitmap.h"
#include "error.h"
#include "jetbank.h"
#include "textfile.h"

#include <QFileInfo>

namespace jetconvert {
namespace {

const QStringList requiredFields{QStringLiteral("Name"),    QStringLiteral("Vopros"),
                                 QStringLiteral("Otvet1"),  QStringLiteral("Otvet2"),
                                 QStringLiteral("Otvet3"),  QStringLiteral("Otvet4"),
                                 QStringLiteral("PrOtvet"), QStringLiteral("Graph")};

int columnOf(const jetbank::Table& table, const QString& name) {
    for (int i = 0; i < table.names.size(); ++i)
        if (table.names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

jetbank::Table readOld(const QString& oldPath) {
    // Read first, so that a file the user may not read is named as such, not as a stranger.
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
    jetbank::Table table = jetbank::readTable(oldPath);
    if (!table.found)
        throw Error(QStringLiteral("В банке вопросов «%1» нет таблицы kontrol").arg(oldPath));
    for (const QString& field : requiredFields)
        if (columnOf(table, field) < 0)
            throw Error(QStringLiteral("В таблице kontrol банка вопросов «%1» нет поля %2")
                            .arg(oldPath, field));
    return table;
}

// Pictures the program would refuse are not carried over.
QStringList dropInvalidPictures(jetbank::Table& table) {
    QStringList refused;
    const int graph = columnOf(table, QStringLiteral("Graph"));
    for (int n = 0; n < table.rows.size(); ++n) {
        QVariant& value = table.rows[n][graph];
        if (!value.isValid())
            continue;
        try {
            bitmap::checkGraph(value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                       : value.toString().toUtf8());
        } catch (const Error& e) {
            refused << QStringLiteral("запись %1: рисунок не перенесён (%2)")
                           .arg(QString::number(n + 1), e.message());
            value = QVariant();
        }
    }
    return refused;
}

void writeBank(const QString& path, const jetbank::Table& table) {
    bankfile::NewDatabase bank(path);
    try {
        jetbank::copyInto(bank.handle(), table);
    } catch (const Error& e) {
        bank.fail(e.message());
    }
    bank.place();
}

} // namespace

Result convert(const QString& oldPath, const QString& newPath) {
    if (QFileInfo::exists(newPath) || QFileInfo(newPath).isSymLink())
        throw Error(QStringLiteral("Файл «%1» уже есть: его не перезаписываем").arg(newPath));
    jetbank::Table table = readOld(oldPath);
    Result result;
    result.questions = int(table.rows.size());
    result.refused = dropInvalidPictures(table);
    writeBank(newPath, table);
    return result;
}

} // namespace jetconvert

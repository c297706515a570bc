#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// The old-format (Jet) bank fixtures of tests/fixtures/jet and their JSON sidecars.
namespace jetfixture {

inline QString path(const QString& name) {
    return QStringLiteral(KV_JET_FIXTURES "/") + name;
}

inline QByteArray bytes(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QJsonObject sidecar(const QString& name) {
    return QJsonDocument::fromJson(bytes(path(name + QStringLiteral(".json")))).object();
}

inline QString sha256(const QByteArray& data) {
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

inline QStringList columnNames(const QJsonObject& side) {
    QStringList names;
    for (const auto& column : side.value(QStringLiteral("columns")).toArray())
        names << column.toObject().value(QStringLiteral("name")).toString();
    return names;
}

} // namespace jetfixture

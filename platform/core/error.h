#pragma once

#include <QString>
#include <exception>

// The program's one error type. A layer that detects a failure throws it; only the
// handler guard catches it and shows its message in the error box.
class Error : public std::exception {
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Errors of the database layer: the start-up box names the error class.
class DatabaseError : public Error {
public:
    using Error::Error;
};

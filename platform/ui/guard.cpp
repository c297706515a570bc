#include "guard.h"

#include "error.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <exception>

QString applicationTitleFor(const QString& programPath) {
    QString name = QFileInfo(programPath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationTitle() {
    const QString path =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    return applicationTitleFor(path.isEmpty() ? QStringLiteral("kviront") : path);
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void showErrorBox(const QString& message) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), errorBoxText(message),
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

void showStartupFailure(const QString& errorClass, const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"),
                    QStringLiteral("Exception %1 in module %2.\n%3")
                        .arg(errorClass, applicationTitle(), errorBoxText(message)),
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ApplicationError"));
    box.exec();
}

void guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Error& e) {
        showErrorBox(e.message());
    } catch (const std::exception& e) {
        showErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showErrorBox(QStringLiteral("Неизвестная ошибка"));
    }
}

#pragma once

#include <QObject>
#include <QString>
#include <functional>

// Every event handler of every window runs inside guard(): an error ends that handler
// only, is shown in the error box, and the message loop goes on. No exception ever
// crosses Qt's event loop.
void guard(const std::function<void()>& handler);

// Connects a signal to a handler that runs inside guard().
template <class Sender, class Signal, class Handler>
QMetaObject::Connection onEvent(Sender* sender, Signal signal, QObject* context, Handler handler) {
    return QObject::connect(sender, signal, context, [handler] { guard(handler); });
}

// "kviront" for the program file /usr/bin/kviront: the name without folder, cut before its
// first full stop, first letter unchanged, the rest in lower case.
QString applicationTitle();
QString applicationTitleFor(const QString& programPath);

// The error's message with a full stop added when its last character sorts after ".".
QString errorBoxText(const QString& message);

// The modal error box with a stop icon, captioned with the application title.
void showErrorBox(const QString& message);

// Start-up failure: a box captioned "Application Error" naming the error and its message.
void showStartupFailure(const QString& errorClass, const QString& message);

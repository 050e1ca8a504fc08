#pragma once

#include <QByteArray>
#include <QtGlobal>

// The program's message log: every Qt debug, warning, critical and fatal
// message goes to standard error; info messages are dropped.

// The line written for one message; empty for message types that are dropped.
QByteArray formatLogMessage(QtMsgType type, const QMessageLogContext &context, const QString &message);

// Installs the handler that writes formatLogMessage() lines to standard
// error and aborts on fatal messages.
void installMessageLog();

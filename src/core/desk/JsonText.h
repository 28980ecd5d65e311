// Writing JSON text straight into a byte buffer: a few hundred thousand small objects a run (the
// register's values, a group's changes for the server) cost less than through QJsonDocument.
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QStringView>

namespace zb32 {

// A JSON string of `text`, UTF-8, with quotes, backslashes and control characters escaped.
void appendJsonText(QByteArray* out, QStringView text);
// The same of a text already in UTF-8.
void appendJsonUtf8(QByteArray* out, const QByteArray& utf8);
// A JSON value as QJsonDocument writes it: integers as integers, other numbers in their shortest
// exact form (null when not finite), strings escaped.
void appendJsonValue(QByteArray* out, const QJsonValue& value);

} // namespace zb32

#pragma once

#include "model/events.h"

#include <QByteArray>
#include <QVariant>
#include <QVector>

// The fields of a record by name, for dumps and exports that list any
// record without knowing its class.  Values keep their C++ type in the
// variant (float, double, bool, int, uint, QString; bool arrays as a
// QVariantList of bools).
struct EventField {
    const char *name;
    QVariant value;
};

struct EventDescription {
    const char *className = "OKUEvent";
    // "time" and "referenceVoltage" first, then the class's own fields in declaration order.
    QVector<EventField> fields;
};

EventDescription describeEvent(const OKUEvent &event);

// A field value as JSON text: floats with 9 significant digits, doubles with
// 17 (both round-trip exactly), strings escaped.
QByteArray jsonValue(const QVariant &value);
QByteArray jsonString(const QString &text);

#pragma once

#include <QString>

class QGraph;
class QGroupBox;
class QPushButton;
class QWidget;

// Small builders for the device window's hand-made form: each widget gets
// the object name that tests and style sheets know it by.

// A push button appended to the parent's layout.
QPushButton *addButton(const QString &objectName, const QString &text, QWidget *parent);
// A titled group box; the caller lays it out.
QGroupBox *newGroupBox(const QString &objectName, const QString &title, QWidget *parent);
// A plot inside a titled group box, appended to the container's layout.
QGraph *addGraphGroup(const QString &objectName, const QString &title, QWidget *container);

#pragma once

#include <QMainWindow>

// The main window.  It opens the given flight file, or the device console
// when there is none.
class OKUStudio : public QMainWindow
{
    Q_OBJECT

public:
    explicit OKUStudio(const QString &file, QWidget *parent = nullptr);
};

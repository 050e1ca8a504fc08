#pragma once

#include <QCommandLineOption>

class QCommandLineParser;

// The program's command line: --flight FILE (also written -flight FILE) and
// --demo.
struct StartupOptions {
    QCommandLineOption flight;
    QCommandLineOption demo;

    StartupOptions();
    // Registers both options with the parser and sets the parsing mode.
    void addTo(QCommandLineParser &parser) const;
};

#include "cli/command.h"

static const CliCommand versionCommand("version", "", "Prints the version of okukipo-cli.", [](const QStringList &) {
    cliPrint(QByteArrayLiteral(OKUKIPO_VERSION));
    return 0;
});

#include "cli/command.h"

static const CliCommand versionCommand("version", "", [](const QStringList &) {
    cliPrint(QByteArrayLiteral(OKUKIPO_VERSION));
    return 0;
});

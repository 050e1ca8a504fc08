#include "cli/command.h"
#include "model/flightcomparison.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char Usage[] = "FILE... [--align launch|apogee] [--csv OUT]";

QJsonObject statisticsJson(const Statistics &statistics)
{
    QJsonObject json;
    for (std::size_t i = 0; i < StatisticCount; ++i) {
        const QString key = QString::fromLatin1(statisticName(Statistic(i)).key);
        json.insert(key, statistics[i] ? QJsonValue(*statistics[i]) : QJsonValue());
    }
    return json;
}

// One object per item: its statistics and their differences to the first item's.
QByteArray comparisonJson(const std::vector<ComparedItem> &items)
{
    QJsonArray list;
    const Statistics reference = comparisonStatistics(items.front());
    for (const ComparedItem &item : items) {
        const Statistics statistics = comparisonStatistics(item);
        list.append(QJsonObject{{QStringLiteral("file"), item.name},
                                {QStringLiteral("date"), item.date},
                                {QStringLiteral("statistics"), statisticsJson(statistics)},
                                {QStringLiteral("differences"), statisticsJson(statisticDifferences(statistics, reference))}});
    }
    return QJsonDocument(list).toJson(QJsonDocument::Indented);
}

const CliCommand compareCommand("compare", Usage, [](const QStringList &arguments) {
    const QString usage = QStringLiteral("usage: okukipo-cli compare ") + QString::fromLatin1(Usage);
    QCommandLineParser parser;
    const QString alignOption = QStringLiteral("align");
    const QString csvOption = QStringLiteral("csv");
    parser.addOption({alignOption, QStringLiteral("Time 0 at each item's launch or apogee."), QStringLiteral("launch|apogee"),
                      QStringLiteral("launch")});
    parser.addOption({csvOption, QStringLiteral("Also write the aligned curves to this CSV file."), QStringLiteral("OUT")});
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(QStringList(QStringLiteral("compare")) + arguments))
        return cliFailure(parser.errorText());
    const QString align = parser.value(alignOption);
    if (parser.positionalArguments().isEmpty() || (align != QLatin1String("launch") && align != QLatin1String("apogee")))
        return cliFailure(usage);

    std::vector<ComparedItem> items;
    for (const QString &path : parser.positionalArguments()) {
        ComparedItemLoading loading = loadComparedItem(path);
        if (!loading.item)
            return cliFailure(loading.error);
        items.push_back(std::move(*loading.item));
    }
    const Alignment alignment = align == QLatin1String("launch") ? Alignment::Launch : Alignment::Apogee;
    if (parser.isSet(csvOption) && !exportComparisonCSV(items, alignment, parser.value(csvOption)))
        return cliFailure(QStringLiteral("could not write %1").arg(parser.value(csvOption)));
    cliPrint(comparisonJson(items));
    return 0;
});

} // namespace

#include "model/simulationcsv.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <array>

namespace {

constexpr double StandardGravity = 9.80665; // m/s² per g
constexpr double MetresPerFoot = 0.3048;

struct Unit {
    const char *name;
    double toModel; // factor to the model's unit
};

// A column the reader needs: recognised by a word of its name, converted by its unit.
struct Quantity {
    const char *description; // as the error message names it
    const char *example;     // a header field that would do
    QStringList nameWords;
    std::vector<Unit> units;
};

const std::array<Quantity, 4> &quantities()
{
    static const std::array<Quantity, 4> list{{
        {"time", "Time (s)", {QStringLiteral("time")}, {{"s", 1.0}}},
        {"altitude", "Altitude (m)", {QStringLiteral("altitude")}, {{"m", 1.0}, {"ft", MetresPerFoot}}},
        {"vertical velocity", "Vertical velocity (m/s)",
         {QStringLiteral("vertical velocity"), QStringLiteral("vertical speed")},
         {{"m/s", 1.0}, {"ft/s", MetresPerFoot}}},
        {"vertical acceleration", "Vertical acceleration (m/s\u00b2)", {QStringLiteral("vertical acceleration")},
         {{"m/s\u00b2", 1.0 / StandardGravity}, {"m/s^2", 1.0 / StandardGravity}, {"m/s2", 1.0 / StandardGravity},
          {"ft/s\u00b2", MetresPerFoot / StandardGravity}, {"ft/s^2", MetresPerFoot / StandardGravity},
          {"ft/s2", MetresPerFoot / StandardGravity}, {"g", 1.0}}},
    }};
    return list;
}

struct Column {
    int index = -1;
    double toModel = 1.0;
};

struct Header {
    int lineNumber = 0;
    QStringList fields;
};

QStringList splitFields(const QString &line)
{
    QStringList fields = line.split(QLatin1Char(','));
    for (QString &field : fields)
        field = field.trimmed();
    return fields;
}

bool allNumbers(const QStringList &fields)
{
    for (const QString &field : fields) {
        bool ok = false;
        field.toDouble(&ok);
        if (!ok)
            return false;
    }
    return true;
}

QString atLine(int lineNumber, const QString &message)
{
    return QStringLiteral("line %1: %2").arg(lineNumber).arg(message);
}

// Finds each needed column in the header; an error when one is missing or
// has a unit the reader does not know.
bool findColumns(const Header &header, std::array<Column, 4> *columns, QString *error)
{
    static const QRegularExpression nameAndUnit(QStringLiteral("^(.*?)\\s*[\\(\\[]\\s*([^\\)\\]]*?)\\s*[\\)\\]]$"));
    for (std::size_t q = 0; q < quantities().size(); ++q) {
        const Quantity &quantity = quantities()[q];
        for (int i = 0; i < header.fields.size() && (*columns)[q].index < 0; ++i) {
            const QRegularExpressionMatch match = nameAndUnit.match(header.fields[i]);
            const QString name = (match.hasMatch() ? match.captured(1) : header.fields[i]).toLower();
            const bool named = q == 0 ? name.startsWith(quantity.nameWords.first())
                                      : std::any_of(quantity.nameWords.begin(), quantity.nameWords.end(),
                                                    [&](const QString &word) { return name.contains(word); });
            if (!named)
                continue;
            const QString unit = match.captured(2);
            QStringList known;
            for (const Unit &candidate : quantity.units) {
                known << QString::fromUtf8(candidate.name);
                if (unit.compare(QString::fromUtf8(candidate.name), Qt::CaseInsensitive) == 0)
                    (*columns)[q] = {i, candidate.toModel};
            }
            if ((*columns)[q].index < 0) {
                *error = atLine(header.lineNumber, QStringLiteral("the unit of column \"%1\" is \"%2\", expected one of %3")
                                                       .arg(header.fields[i], unit, known.join(QStringLiteral(", "))));
                return false;
            }
        }
        if ((*columns)[q].index < 0) {
            *error = atLine(header.lineNumber, QStringLiteral("no %1 column, expected a column such as \"%2\"")
                                                   .arg(QString::fromLatin1(quantity.description),
                                                        QString::fromUtf8(quantity.example)));
            return false;
        }
    }
    return true;
}

// "# Event APOGEE occurred at t=12.3 seconds": true when the line is one.
bool readEvent(const QString &line, SimulatedFlight &flight)
{
    static const QRegularExpression event(
        QStringLiteral("^#\\s*Event\\s+(\\w+)\\s+occurred\\s+at\\s+t\\s*=\\s*([-+0-9.eE]+)\\s*s"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = event.match(line);
    bool ok = false;
    const float time = match.captured(2).toFloat(&ok);
    if (!match.hasMatch() || !ok)
        return false;
    const QString name = match.captured(1).toUpper();
    if (name == QLatin1String("LAUNCH") && !flight.launchEvent)
        flight.launchEvent = time;
    else if (name == QLatin1String("BURNOUT") && !flight.burnoutEvent)
        flight.burnoutEvent = time;
    else if (name == QLatin1String("APOGEE") && !flight.apogeeEvent)
        flight.apogeeEvent = time;
    else if (name == QLatin1String("MAIN") || name.contains(QLatin1String("DEPLOYMENT")))
        flight.deploymentEvents.push_back(time);
    return true;
}

SimulationReading failure(const QString &error)
{
    return {std::nullopt, error};
}

} // namespace

SimulationReading readSimulationCSV(const QByteArray &text)
{
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    SimulatedFlight flight;
    // Comment lines that could hold the column names, the latest last.
    std::vector<Header> commentHeaders;
    Header header;
    std::array<Column, 4> columns;
    int rows = 0;
    int lastLine = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        lastLine = lineNumber;
        if (line.startsWith(QLatin1Char('#'))) {
            if (!readEvent(line, flight))
                commentHeaders.push_back({lineNumber, splitFields(line.mid(1))});
            continue;
        }
        const QStringList fields = splitFields(line);
        if (header.fields.isEmpty()) {
            // The names stand in a comment line with as many fields when one
            // names the columns, or when this line is data; else in this line.
            const auto named = std::find_if(commentHeaders.rbegin(), commentHeaders.rend(), [&](const Header &h) {
                return h.fields.size() == fields.size() && !allNumbers(h.fields);
            });
            std::array<Column, 4> commentColumns;
            QString error;
            const bool namesInComment = named != commentHeaders.rend() && findColumns(*named, &commentColumns, &error);
            if (!namesInComment && named != commentHeaders.rend() && allNumbers(fields))
                return failure(error);
            if (namesInComment) {
                header = *named;
                columns = commentColumns;
            } else {
                header = Header{lineNumber, fields};
                if (!findColumns(header, &columns, &error))
                    return failure(error);
                continue;
            }
        }
        if (fields.size() != header.fields.size())
            return failure(atLine(lineNumber, QStringLiteral("%1 fields, expected %2 as in the column names on line %3")
                                                  .arg(fields.size())
                                                  .arg(header.fields.size())
                                                  .arg(header.lineNumber)));
        std::array<float, 4> values{};
        for (std::size_t q = 0; q < columns.size(); ++q) {
            const int index = columns[q].index;
            bool ok = false;
            values[q] = float(fields[index].toDouble(&ok) * columns[q].toModel);
            if (!ok)
                return failure(atLine(lineNumber, QStringLiteral("\"%1\" in column \"%2\" is not a number")
                                                      .arg(fields[index], header.fields[index])));
        }
        if (!flight.altitude.empty() && values[0] < flight.altitude.back().time)
            return failure(atLine(lineNumber, QStringLiteral("the time %1 s is before the previous row's, expected rising times")
                                                  .arg(fields[columns[0].index])));
        flight.altitude.push_back({values[0], values[1], 0.0f});
        flight.velocity.push_back({values[0], values[2], 0.0f});
        flight.acceleration.push_back({values[0], values[3], 0.0f});
        ++rows;
    }
    if (lastLine == 0)
        return failure(atLine(1, QStringLiteral("the file is empty, expected column names and data rows")));
    // The curves need four points to be read between them.
    if (rows < 4)
        return failure(atLine(lastLine, QStringLiteral("%1 data rows, expected at least 4").arg(rows)));
    return {std::move(flight), QString()};
}

SimulationReading readSimulationFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    return readSimulationCSV(file.readAll());
}

#!/usr/bin/env bash
# Seeds realistic faults one at a time into a copy of the tree and runs the
# suite against each: a fault is caught when a test fails.  Run by hand (not
# by ./test); the machine is shared, so prefer `nice -n 10`.
#
#   scripts/seed-faults.sh              every fault of the catalogue
#   scripts/seed-faults.sh 3 kalman     only fault 3 and those whose file or
#                                       description contains "kalman"
#   scripts/seed-faults.sh --list       the catalogue, and whether each
#                                       snippet is still found
#   --rev REV     seed into the tree of commit REV instead of the working tree
#   --quick       run only the tests named with each fault (a shorter, lower
#                 bound of what the whole suite catches)
#
# The tree is the one the script lies in, or $OKUKIPO_SEED_SOURCE.  The copy
# and its build stay in $OKUKIPO_SEED_DIR (default /tmp/okukipo-seed)
# between runs: only files that differ are copied, so builds stay incremental.
# Each fault first builds and runs the tests named with it, then, if they
# pass, everything else; ctest stops at the first failure.
set -uo pipefail

root="${OKUKIPO_SEED_SOURCE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
work="${OKUKIPO_SEED_DIR:-/tmp/okukipo-seed}"
src="$work/src"
build="$work/build"
logs="$work/logs"
jobs="$(nproc)"

files=() tests=() descriptions=() originals=() replacements=()

# fault FILE "TESTS TO RUN FIRST" DESCRIPTION ORIGINAL REPLACEMENT
fault() {
    files+=("$1") tests+=("$2") descriptions+=("$3") originals+=("$4") replacements+=("$5")
}

# ---------------------------------------------------------------- catalogue
# Event records
fault model/events.cpp "test_events" "vertical acceleration decoded at twice its scale" \
    'constexpr float accelScale = 0.00390625f;' 'constexpr float accelScale = 0.0078125f;'
fault model/events.cpp "test_events" "continuity flags read upwards instead of downwards" \
    'event->lineContinuity[line] = word & (0x0080 >> line);' 'event->lineContinuity[line] = word & (0x0010 << line);'
fault model/events.cpp "test_events" "satellite count loses its fifth bit" \
    'event->satellites = flags & 0x1F;' 'event->satellites = flags & 0x0F;'
fault model/events.cpp "test_events" "status state 3 mapped to 3 instead of 2" \
    'case 3: return 2;' 'case 3: return 3;'
fault model/events.cpp "test_events test_flashparser" "time step keeps only six bits" \
    'delta->deltaMs = float(code & 0x7F);' 'delta->deltaMs = float(code & 0x3F);'
fault model/events.cpp "test_events test_flashparser" "GPS position one byte short in flash" \
    $'case 0x0E:\n        return 13;' $'case 0x0E:\n        return 12;'
fault model/eventarchive.h "test_events test_flightfile" "old acceleration corrected only above 8 g, not at 8 g" \
    'if (std::abs(accelZ) >= 8.0f)' 'if (std::abs(accelZ) > 8.0f)'
fault model/eventarchive.h "test_events test_flightfile" "half-read records are no longer kept" \
    $'    } catch (const boost::archive::archive_exception &) {\n    }' \
    $'    } catch (const boost::archive::archive_exception &) {\n        throw;\n    }'
# Settings record and flash image
fault model/settings.cpp "test_events" "checksum leaves out the byte index" \
    'sum = quint16(sum + quint16(bytes[i] + i));' 'sum = quint16(sum + quint16(bytes[i]));'
fault model/settings.cpp "test_events" "maximum angle truncated instead of rounded" \
    'return int(degrees + 0.5f);' 'return int(degrees);'
fault model/flashparser.cpp "test_flashparser" "flash time steps counted in hundredths" \
    'clock += float(code & ~TimeStepBit) * 0.001f;' 'clock += float(code & ~TimeStepBit) * 0.01f;'
fault model/flashparser.cpp "test_flashparser" "a flight's last, unfinished record is kept" \
    'if (!flight->events.empty()) {' 'if (false) {'
# Sampling, analysis and the filter
fault model/series.cpp "test_kalman" "inner tangents at half instead of a tenth" \
    'segment.m0 = (p[i + 1] - p[i - 1]) * 0.1f;' 'segment.m0 = (p[i + 1] - p[i - 1]) * 0.5f;'
fault model/series.cpp "test_kalman test_analysis" "barometric altitude with a pressure scale off by ten" \
    'std::pow(pressure * 9.869233e-06f, 0.190263f)' 'std::pow(pressure * 9.869233e-05f, 0.190263f)'
fault model/kalmanfilter.cpp "test_kalman" "GPS fix window half a second wide after t" \
    'm_fixTimes[m_next] <= t + 1.0f' 'm_fixTimes[m_next] <= t + 0.5f'
fault model/kalmanfilter.cpp "test_kalman" "GPS altitudes up to 2000 m believed" \
    'std::fabs(zG) <= 200.0f' 'std::fabs(zG) <= 2000.0f'
fault model/kalmanfilter.cpp "test_kalman" "offset learning weights swapped" \
    'm_off = (1.0f - k) * (zG - zB) + k * m_off;' 'm_off = k * (zG - zB) + (1.0f - k) * m_off;'
fault model/kalmanfilter.cpp "test_kalman" "GPS weight doubled" \
    'wG = (100.0f - std::fabs(m_v)) * 0.01f;' 'wG = (100.0f - std::fabs(m_v)) * 0.02f;'
fault model/kalmanfilter.cpp "test_kalman" "first two gains of the measured, trusted set swapped" \
    'gainsMeasuredTrusted{{0.056591481f, 0.017936103f' 'gainsMeasuredTrusted{{0.017936103f, 0.056591481f'
fault model/kalmanfilter.cpp "test_kalman" "accelerometer trusted while coasting down to 1.5 m/s" \
    'return std::fabs(m_v) > 15.0f;' 'return std::fabs(m_v) > 1.5f;'
fault model/kalmanfilter.cpp "test_kalman" "start offsets up to 3000 m accepted" \
    'if (offset0 > 300.0f)' 'if (offset0 > 3000.0f)'
fault model/kalmanfilter.cpp "test_kalman test_analysis" "drag term pushes upwards" \
    'accelInput = -gravity - m_v * 0.033333335f;' 'accelInput = -gravity + m_v * 0.033333335f;'
fault model/flightanalysis.cpp "test_analysis" "still air accepts a climb of 5 m/s" \
    'if (air.variance < 25.0 && air.slope < 0.5)' 'if (air.variance < 25.0 && air.slope < 5.0)'
fault model/flightanalysis.cpp "test_analysis" "launch placed at the end of the first second of boost" \
    'launch = s - 1.0f;' 'launch = s;'
fault model/flightanalysis.cpp "test_analysis" "landing needs ten seconds of stillness" \
    'else if (++stillSteps > 10)' 'else if (++stillSteps > 100)'
fault model/flightanalysis.cpp "test_analysis" "a flight needs five seconds above 3 g" \
    'hard = hard || hardSamples >= 5;' 'hard = hard || hardSamples >= 50;'
fault model/flightanalysis.cpp "test_analysis" "upside-down test inverted" \
    'return sum < 0.0f;' 'return sum > 0.0f;'
fault model/flightanalysis.cpp "test_analysis" "end time includes the radio tail" \
    'if (!eventAs<OKUEvent_RSSI>(*it)) {' 'if (true) {'
fault model/flightanalysis.cpp "test_analysis" "roll about Y reports the X rate" \
    'return statistic(gyro, gyro ? gyro->y : 0.0f);' 'return statistic(gyro, gyro ? gyro->x : 0.0f);'
# Exports
fault model/flightexports.cpp "test_exports" "thrust sheet's second pass burns propellant evenly" \
    'totalImpulse > 0.0 ? double(::sampleSeries(impulseSoFar, tau).value) / totalImpulse : 0.0;' \
    'burnTime > 0.0 ? std::min(double(tau), burnTime) / burnTime : 0.0;'
fault model/flightexports.cpp "test_exports" "emulation data's lateral acceleration left in g" \
    'appendFixedCell(line, ::sampleSeries(accelX, t).value * 9.81f);' 'appendFixedCell(line, ::sampleSeries(accelX, t).value);'
fault model/flightexports.cpp "test_exports" "KML track with latitude first" \
    $'appendNumber(line, fix->longitude, 10);\n            appendCell(line, fix->latitude, 10);' \
    $'appendNumber(line, fix->latitude, 10);\n            appendCell(line, fix->longitude, 10);'
# Device protocol and worker
fault device/okukipodevice.cpp "test_protocol" "packet code written into the report ID" \
    'report[1] = packet.code;' 'report[0] = packet.code;'
fault device/okukipodevice.cpp "test_protocol test_worker" "settings chunks numbered from one" \
    'const QByteArray chunk = littleEndian16(index) + char(length)' 'const QByteArray chunk = littleEndian16(index + 1) + char(length)'
fault device/okukipodevice.cpp "test_protocol test_worker" "flash read with address and length swapped" \
    'littleEndian32(0) + littleEndian32(length)' 'littleEndian32(length) + littleEndian32(0)'
fault device/okukipointerface.cpp "test_worker" "magnetometer X not negated" \
    'calibrated[0] = -calibrated[0];' ''
fault device/okukipointerface.cpp "test_worker" "hard-iron centre at a quarter of the extremes" \
    'calibrated[axis] = reading[axis] - (maximum[axis] + minimum[axis]) * 0.5f;' \
    'calibrated[axis] = reading[axis] - (maximum[axis] + minimum[axis]) * 0.25f;'
fault device/okukipointerface.cpp "test_worker" "orientation handed on as x, y, z, w" \
    'latestOrientation = {e->w, e->x, e->y, e->z};' 'latestOrientation = {e->x, e->y, e->z, e->w};'
fault device/okukipointerface.cpp "test_worker test_devicewindow" "one flight too many reported downloaded" \
    'console(QString::number(flights.size()) + QStringLiteral(" flight(s) downloaded."));' \
    'console(QString::number(flights.size() + 1) + QStringLiteral(" flight(s) downloaded."));'
# Web server
fault webserver/httpserver/staticfilecontroller.cpp "test_httpserver" "document root matched as a bare prefix" \
    'resolved.startsWith(docrootPrefix);' 'resolved.startsWith(canonicalDocroot);'
fault webserver/httpserver/staticfilecontroller.cpp "test_httpserver" "cache entries live ten times longer" \
    'now - entry->created >= cacheTimeout)' 'now - entry->created >= cacheTimeout * 10)'
fault webserver/httpserver/httprequest.cpp "test_httprequest" "header bytes limit overrun by 100" \
    'if (currentSize > maxSize) {' 'if (currentSize > maxSize + 100) {'
fault webserver/httpserver/httprequest.cpp "test_httprequest" "body limit doubled" \
    'else if (boundary.isEmpty() && expectedBodySize > maxSize)' 'else if (boundary.isEmpty() && expectedBodySize > 2 * maxSize)'
fault webserver/httpserver/httprequest.cpp "test_httprequest test_httpserver" "header names keep their case" \
    'currentHeader = line.left(colon).trimmed().toLower();' 'currentHeader = line.left(colon).trimmed();'
fault webserver/httpserver/httprequest.cpp "test_httprequest test_httpserver" "path not percent-decoded" \
    'path = QByteArray::fromPercentEncoding(queryStart < 0 ? target : target.left(queryStart));' \
    'path = queryStart < 0 ? target : target.left(queryStart);'
# Plots, orientation view, windows
fault ui/graphaxis.cpp "test_graph_data" "data to pixel with y pointing down" \
    'return QPointF(originX + data.x() * s.x(), originY - data.y() * s.y());' \
    'return QPointF(originX + data.x() * s.x(), originY + data.y() * s.y());'
fault ui/graphaxis.cpp "test_graph_data" "tick steps of 7 units rounded up to 10" \
    '{0, 1, 2, 2, 5, 5, 5, 5, 10, 10}' '{0, 1, 2, 2, 5, 5, 5, 10, 10, 10}'
fault ui/qgraphview.cpp "test_graph_view" "optimized origin measured from the top" \
    'm_originFractionY = float(most.y() / (most.y() - least.y()));' \
    'm_originFractionY = float(-least.y() / (most.y() - least.y()));'
fault ui/qgraphview.cpp "test_graph_view" "origin optimized for the last axis" \
    $'const QPointF least = m_axes->first()->minimum();\n        const QPointF most = m_axes->first()->maximum();' \
    $'const QPointF least = m_axes->last()->minimum();\n        const QPointF most = m_axes->last()->maximum();'
fault ui/orientationwidget.cpp "test_orientationwidget" "scaling above the middle grows twice as fast" \
    '1.0 + (scale - 50) * 0.01;' '1.0 + (scale - 50) * 0.02;'
fault ui/flightplots.cpp "test_flightwindow" "ground level subtracted above sea level instead of above ground" \
    'pressureAltitude(pascals) - (aboveSeaLevel ? 0.0f : groundAltitude);' \
    'pressureAltitude(pascals) - (aboveSeaLevel ? groundAltitude : 0.0f);'
fault ui/okukipowidget.cpp "test_devicewindow" "live pressure label shows the altitude" \
    'form.livePressureLabel->setText(units.pressureLabel(e.pressure));' \
    'form.livePressureLabel->setText(units.pressureAltitudeLabel(e.pressure));'
# Display units and start-up
fault app/units.cpp "test_applicationsettings" "Fahrenheit offset 30 instead of 32" \
    'celsius * 1.8 + 32.0;' 'celsius * 1.8 + 30.0;'
fault app/units.cpp "test_applicationsettings" "inches of mercury off by ten" \
    'InchesOfMercuryPerPascal = 0.000295333727;' 'InchesOfMercuryPerPascal = 0.00295333727;'
fault app/units.cpp "test_applicationsettings" "seconds of arc counted in hundredths of a minute" \
    'const double seconds = std::fabs(minutes - wholeMinutes) * 60.0;' 'const double seconds = std::fabs(minutes - wholeMinutes) * 100.0;'
fault app/messagelog.cpp "test_applicationsettings" "warnings logged as debug lines" \
    $'case QtWarningMsg:\n        return "Warning";' $'case QtWarningMsg:\n        return "Debug";'
fault app/startupoptions.cpp "test_applicationsettings" "single-dash options split into letters" \
    'parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);' ''

# ---------------------------------------------------------------- running
contains_snippet() { # FILE SNIPPET
    [ -f "$1" ] && SNIPPET="$2" perl -0777 -ne 'exit(index($_, $ENV{SNIPPET}) < 0 ? 1 : 0)' "$1"
}

selected() { # INDEX -> whether the command line picks it
    local i="$1" pattern
    [ ${#patterns[@]} -eq 0 ] && return 0
    for pattern in "${patterns[@]}"; do
        [ "$pattern" = "$((i + 1))" ] && return 0
        case "${files[$i]} ${descriptions[$i]}" in *"$pattern"*) return 0 ;; esac
    done
    return 1
}

# Copies what differs from the working tree (or from commit $rev) into the
# copy, removes what is gone; copied files get a new time stamp, so make
# rebuilds them.
sync_tree() {
    mkdir -p "$src"
    local from="$root" list="$work/files.txt"
    if [ -n "$rev" ]; then
        from="$work/rev"
        rm -rf "$from" && mkdir -p "$from"
        git -C "$root" archive "$rev" | tar -x -C "$from" || exit 2
        (cd "$from" && find . -type f | sed 's|^\./||' | sort) > "$list"
    else
        (cd "$root" && git ls-files --cached --others --exclude-standard | sort -u) > "$list"
    fi
    local f
    while IFS= read -r f; do
        [ -f "$from/$f" ] || continue
        if ! cmp -s "$from/$f" "$src/$f"; then
            mkdir -p "$(dirname "$src/$f")"
            cp "$from/$f" "$src/$f"
        fi
    done < "$list"
    (cd "$src" && find . -type f | sed 's|^\./||' | sort) | comm -23 - "$list" | while IFS= read -r f; do
        rm -f "$src/$f"
    done
}

build_targets() { # [TARGET...]; nothing builds everything
    local args=()
    local t
    for t in "$@"; do args+=(--target "$t"); done
    cmake --build "$build" --parallel "$jobs" "${args[@]}"
}

# Runs ctest with the given selection; prints the first failing test's name.
run_tests() { # LOG CTEST-ARGS...
    local log="$1"; shift
    if xvfb-run -a -s "-screen 0 1600x1000x24" \
        ctest --test-dir "$build" --stop-on-failure --timeout 300 --output-on-failure "$@" >> "$log" 2>&1; then
        return 0
    fi
    grep -E 'Test +#[0-9]+: ' "$log" | grep -v ' Passed ' | head -1 | sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/'
    return 1
}

list_catalogue() {
    local i state
    for i in "${!files[@]}"; do
        selected "$i" || continue
        state="found"
        contains_snippet "$root/${files[$i]}" "${originals[$i]}" || state="NOT FOUND"
        printf '%3d  %-9s %s: %s\n' "$((i + 1))" "$state" "${files[$i]}" "${descriptions[$i]}"
    done
}

patterns=()
list=0 quick=0 rev=""
while [ $# -gt 0 ]; do
    case "$1" in
        --list) list=1 ;;
        --quick) quick=1 ;;
        --rev) rev="$2"; shift ;;
        -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
        *) patterns+=("$1") ;;
    esac
    shift
done
if [ "$list" -eq 1 ]; then
    list_catalogue
    exit 0
fi

mkdir -p "$work" "$logs"
echo "Copying the tree to $src ..." >&2
sync_tree
if [ ! -f "$build/CMakeCache.txt" ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    # Without debug information and with light optimisation the many
    # rebuilds stay short.
    cmake -S "$src" -B "$build" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" \
        > "$logs/configure.log" 2>&1 || { echo "configure failed, see $logs/configure.log" >&2; exit 2; }
else
    # Tests added since the last run become targets only when CMake runs again.
    cmake "$build" > "$logs/configure.log" 2>&1 || { echo "configure failed, see $logs/configure.log" >&2; exit 2; }
fi
# Of the tests named with a fault, those the tree has.
existing_tests() { # NAME...
    local t
    for t in "$@"; do
        grep -qs "okukipo_add_test($t " "$src"/tests/*/CMakeLists.txt && echo "$t"
    done
}

baseline=()
if [ "$quick" -eq 1 ]; then
    for i in "${!files[@]}"; do
        selected "$i" && baseline+=(${tests[$i]})
    done
    read -r -a baseline <<< "$(existing_tests $(printf '%s\n' "${baseline[@]}" | sort -u) | tr '\n' ' ')"
    baseline_selection=(-R "^($(IFS='|'; echo "${baseline[*]}"))\$")
else
    baseline_selection=()
fi
echo "Building and running the suite without faults ..." >&2
if ! build_targets "${baseline[@]}" > "$logs/baseline.log" 2>&1; then
    echo "the tree does not build, see $logs/baseline.log" >&2
    exit 2
fi
: > "$logs/baseline-tests.log"
if ! failing=$(run_tests "$logs/baseline-tests.log" "${baseline_selection[@]}"); then
    echo "the suite fails without any fault ($failing), see $logs/baseline-tests.log" >&2
    exit 2
fi

line() { # VERDICT [TEST]
    printf '%3d  %-14s %s: %s%s\n' "$n" "$1" "$file" "${descriptions[$i]}" "${2:+ ($2)}"
}

total=0 caught=0 missing=0
for i in "${!files[@]}"; do
    selected "$i" || continue
    total=$((total + 1))
    n=$((i + 1))
    file="${files[$i]}"
    if ! contains_snippet "$src/$file" "${originals[$i]}"; then
        missing=$((missing + 1))
        line "not applicable"
        continue
    fi
    log="$logs/fault-$n.log"
    saved="$work/saved-original"
    cp "$src/$file" "$saved"
    ORIGINAL="${originals[$i]}" REPLACEMENT="${replacements[$i]}" perl -0777 -i -pe \
        'my $at = index($_, $ENV{ORIGINAL}); substr($_, $at, length($ENV{ORIGINAL})) = $ENV{REPLACEMENT};' "$src/$file"
    read -r -a first <<< "$(existing_tests ${tests[$i]} | tr '\n' ' ')"
    verdict="" by=""
    : > "$log"
    if [ ${#first[@]} -gt 0 ]; then
        regex="^($(IFS='|'; echo "${first[*]}"))\$"
        if ! build_targets "${first[@]}" >> "$log" 2>&1; then
            verdict="does not build"
        elif ! by=$(run_tests "$log" -R "$regex"); then
            verdict="caught"
        fi
    else
        regex='^$'
    fi
    if [ -z "$verdict" ] && [ "$quick" -eq 1 ]; then
        verdict="MISSED"
    elif [ -z "$verdict" ]; then
        if ! build_targets >> "$log" 2>&1; then
            verdict="does not build"
        elif ! by=$(run_tests "$log" -E "$regex"); then
            verdict="caught"
        else
            verdict="MISSED"
        fi
    fi
    # A fresh time stamp, so that the next build compiles the original again.
    cp "$saved" "$src/$file"
    [ "$verdict" = "caught" ] && caught=$((caught + 1))
    line "$verdict" "$by"
done
if [ "$missing" -gt 0 ]; then
    echo "caught $caught of $total ($missing not applicable)"
else
    echo "caught $caught of $total"
fi

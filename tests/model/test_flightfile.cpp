#include "filecontents.h"
#include "flightfilebytes.h"
#include "model/eventarchive.h"
#include "model/flight.h"
#include "model/flightarchive.h"
#include "model/trace.h"
#include "verticalflight.h"

#include <QtTest>
#include <QTemporaryDir>
#include <boost/serialization/vector.hpp>
#include <csignal>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A small flight: two accelerations and a status, notes "hi".  The event
// vector's bytes are those of Boost's own vector serialization (see
// matchesBoostVectorSerialization).
QByteArray goldenFlightBytes()
{
    return QByteArray::fromHex(
        // header: signature length 22 and text, library version 15,
        // sizes of int, long, float, double, endian marker 1
        "16000000" "73657269616c697a6174696f6e3a3a61726368697665" "0f00" "04040408" "01000000"
        // flight: tracking 0, version 3; its event vector: tracking 0, version 0
        "00" "03000000" "00" "00000000"
        // event count 3, item version 0
        "03000000" "00000000"
        // AccelZ (class 2): tracking 1, version 3, object 0;
        // OKUEvent: tracking 1, version 1, object 1; 3.3, 0, time 0.5; accelZ 1.25
        "0200" "01" "03000000" "00000000" "01" "01000000" "01000000" "33335340" "00" "0000003f" "0000a03f"
        // AccelZ again: class 2, object 2; OKUEvent object 3; 3.3, 0, time 1.0; accelZ 2
        "0200" "02000000" "03000000" "33335340" "00" "0000803f" "00000040"
        // Status (class 13): tracking 1, version 1, object 4; OKUEvent object 5; 3.3, 0, time 1.5;
        // state 2; lineAlert, lineContinuity, lineOther: count 4 and four bytes each
        "0d00" "01" "01000000" "04000000" "05000000" "33335340" "00" "0000c03f" "02000000"
        "04000000" "01000000" "04000000" "00000001" "04000000" "00000000"
        // value16 0x1234, notes "hi"
        "3412" "02000000" "6869"
        // settings: tracking 0, version 3, valid 1, the 99 default device bytes
        "00" "03000000" "01"
        // firmwareVersion 528, pressureOffset, bytes 3 and 4, lineMode, lineOnTime
        "1002" "00" "00" "00" "05060000" "14141414"
        // lineTime, lineAltitude, lineDelay
        "64009600c800c800" "f401960064006400" "0000000000000000"
        // minComputerVoltage 60, callsign "KIPO", flags 0x92, write multiples 10, 1, 1, 0
        "3c" "4b49504f0000" "92" "0a010100"
        // writeRate, txPriority, RFChannel
        "01010101010101010101010101010101" "01010000000205050505050000000001" "00"
        // lineMaxAngle -10000 each, lineStage, flags2, remotePIN 1234, checksum
        "f0d8f0d8f0d8f0d8" "02030405" "00" "d204" "b921"
        // accelInverted
        "01");
}

// The header and the flight's own class information.
const int flightFieldsOffset = 36 + 5;

void fillGoldenFlight(OKUKIPOFlight &flight)
{
    insertEvent<OKUEvent_AccelZ>(flight, 0.5f)->accelZ = 1.25f;
    insertEvent<OKUEvent_AccelZ>(flight, 1.0f)->accelZ = 2.0f;
    auto *status = insertEvent<OKUEvent_Status>(flight, 1.5f);
    status->state = 2;
    status->lineAlert[0] = true;
    status->lineContinuity[3] = true;
    flight.value16 = 0x1234;
    flight.notes = "hi";
    flight.settings.valid = true;
    flight.accelInverted = true;
}

// One record of every class with every field set, and changed flight fields.
void fillEveryEventClass(OKUKIPOFlight &flight)
{
    auto add = [&flight](auto *event) {
        event->time = 0.125f * float(flight.events.size() + 1);
        event->referenceVoltage = 3.0f + event->time;
        flight.events.push_back(event);
        return event;
    };
    add(new OKUEvent_Text)->text = std::string("line\0two \"quoted\"", 17);
    add(new OKUEvent_AccelZ)->accelZ = 12.5f;
    add(new OKUEvent_AccelXY)->accelY = -0.2f;
    add(new OKUEvent_Pressure)->pressure = 101325.0f;
    add(new OKUEvent_ComputerBattery)->voltage = 7.4f;
    add(new OKUEvent_EjectionBattery)->voltage = 9.1f;
    add(new OKUEvent_Temperature)->temperature = -3.25f;
    add(new OKUEvent_AuxDInput)->value = 0xBEEF;
    add(new OKUEvent_AuxEInput)->value = 7;
    auto *position = add(new OKUEvent_GPSLLSol);
    position->latitude = position->longitude = -122.98765432109876;
    position->altitude = 1234.5f;
    position->satellites = 31;
    position->solution3D = true;
    add(new OKUEvent_RSSI)->rssi = -97.0f;
    add(new OKUEvent_Ident)->text = "KIPO22";
    auto *status = add(new OKUEvent_Status);
    status->state = 4;
    status->lineAlert[3] = status->lineContinuity[1] = status->lineOther[0] = true;
    auto *gpsTime = add(new OKUEvent_GPSTime);
    gpsTime->timeOfWeek = 604799999;
    gpsTime->week = 2300;
    gpsTime->timeValid = true;
    gpsTime->leapSeconds = 18;
    add(new OKUEvent_GyroXYZ)->y = -2.5f;
    add(new OKUEvent_MagXYZ)->z = -3e-5f;
    add(new OKUEvent_LineA)->flag15 = true;
    add(new OKUEvent_LineB)->flag14 = true;
    add(new OKUEvent_LineC)->voltage = 3.25f;
    add(new OKUEvent_LineD)->voltage = 1.5f;
    add(new OKUEvent_Orientation)->w = -0.75f;
    flight.value16 = 65535;
    flight.notes = "Windy.\nSecond line";
    flight.settings.callsign[5] = 'Z';
    flight.settings.lineMaxAngle[1] = OKUKIPOSettings::encodeMaxAngle(20);
    flight.settings.updateChecksum();
}

// Takes class id 0, as the flight does in its file.
struct TopLevelObject {
    template<class Archive>
    void serialize(Archive &, unsigned int)
    {
    }
};

template<class... Classes, class Archive>
void registerClasses(Archive &archive)
{
    (archive.template register_type<Classes>(), ...);
}

// The events as Boost's own std::vector serialization stores them with the
// flight file's archive, classes registered in the file's order.
QByteArray boostVectorBytes(const std::vector<OKUEvent *> &events)
{
    std::ostringstream stream;
    {
        FlightOArchive archive(stream);
        registerClasses<TopLevelObject, OKUEvent_Text, OKUEvent_AccelZ, OKUEvent_AccelXY, OKUEvent_Pressure,
                        OKUEvent_ComputerBattery, OKUEvent_EjectionBattery, OKUEvent_Temperature, OKUEvent_AuxDInput,
                        OKUEvent_AuxEInput, OKUEvent_GPSLLSol, OKUEvent_RSSI, OKUEvent_Ident, OKUEvent_Status,
                        OKUEvent_GPSTime, OKUEvent_GyroXYZ, OKUEvent_MagXYZ, OKUEvent_LineA, OKUEvent_LineB,
                        OKUEvent_LineC, OKUEvent_LineD, OKUEvent_Orientation>(archive);
        archive << events;
    }
    return QByteArray::fromStdString(stream.str()).mid(archiveHeader().size());
}

// The fields after the events of a current-version flight with defaults.
QByteArray defaultTail()
{
    return ArchiveBytes().u16(256).str("").raw(storedSettings(3, false, OKUKIPOSettings().deviceBytes())).u8(0).bytes();
}

enum SaveFault { UnsavableRecord = 1, DiskFull };

} // namespace

class TestFlightFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([](const QString &) {});
        QVERIFY(m_dir.isValid());
    }

    void matchesBoostVectorSerialization_data()
    {
        QTest::addColumn<int>("content");
        QTest::newRow("no events") << 0;
        QTest::newRow("one record") << 1;
        QTest::newRow("golden") << 2;
        QTest::newRow("every class") << 3;
    }

    void matchesBoostVectorSerialization()
    {
        QFETCH(int, content);
        OKUKIPOFlight flight;
        if (content == 1)
            flight.events.push_back(new OKUEvent_Pressure);
        else if (content == 2)
            fillGoldenFlight(flight);
        else if (content == 3)
            fillEveryEventClass(flight);
        const QString path = m_dir.filePath(QStringLiteral("saved.kipo"));
        QVERIFY(flight.save(path));
        const QByteArray saved = fileContents(path);
        const QByteArray expected = boostVectorBytes({flight.events.begin(), flight.events.end()});
        QCOMPARE(saved.mid(flightFieldsOffset, expected.size()).toHex(), expected.toHex());
        if (content == 2)
            QCOMPARE(saved.toHex(), goldenFlightBytes().toHex());

        // Loads whole: every field, as saving it again gives the same bytes.
        OKUKIPOFlight loaded;
        QVERIFY(loaded.load(path));
        QCOMPARE(loaded.loadError(), QString());
        QVERIFY(loaded.save(path));
        QCOMPARE(fileContents(path).toHex(), saved.toHex());
    }

    void loadsOldEventVersions_data()
    {
        QTest::addColumn<int>("classId");
        QTest::addColumn<int>("classVersion");
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<float>("referenceVoltage");
        QTest::addColumn<int>("baseVersion");
        QTest::addColumn<QByteArray>("expected");

        auto bytes = [] { return ArchiveBytes(); };
        auto row = [](const char *name, int classId, int version, const ArchiveBytes &fields, const QByteArray &expected,
                      float referenceVoltage = 3.3f, int baseVersion = 1) {
            QTest::newRow(name) << classId << version << fields.bytes() << referenceVoltage << baseVersion << expected;
        };
        row("AccelZ 2 old gain", AccelZId, 2, bytes().f32(-10.0f),
            "OKUEvent_AccelZ accelZ=" + jsonValue((-10.0f - 0.505859375f) * 2.0237154960632324f));
        row("AccelZ 1 counts", AccelZId, 1, bytes().i16(-256), "OKUEvent_AccelZ accelZ=-1");
        // 65535 * 15.625 - 32000 = 991984.375, which wraps to 8944 in 16 bits.
        row("AccelZ 0 wraps", AccelZId, 0, bytes().u16(65535), "OKUEvent_AccelZ accelZ=34.9375");
        row("AccelXY 2 stored Y first", AccelXYId, 2, bytes().f32(2.0f).f32(1.0f), "OKUEvent_AccelXY accelX=1 accelY=2");
        row("AccelXY 0 third axis dropped", AccelXYId, 0, bytes().i16(256).i16(512).i16(999),
            "OKUEvent_AccelXY accelX=1 accelY=2");
        // Version 0 of the OKUEvent part stored the time as whole milliseconds.
        row("Temperature 0 in OKUEvent 0", TemperatureId, 0, bytes().u16(1000),
            "OKUEvent_Temperature temperature=" + jsonValue(1000.0f * 5.0f * 0.006103515625f - 50.0f), 5.0f, 0);
        row("GPSLLSol 3 flags byte", GPSLLSolId, 3, bytes().f64(47.5).f64(-8.25).f32(400.5f).u8(0x2A),
            "OKUEvent_GPSLLSol latitude=47.5 longitude=-8.25 altitude=400.5 satellites=10 solution3D=true");
        row("GPSLLSol 2 skips a word", GPSLLSolId, 2, bytes().f64(47.5).f64(-8.25).f32(400.5f).u32(0xDEADBEEF).u8(0x05),
            "OKUEvent_GPSLLSol latitude=47.5 longitude=-8.25 altitude=400.5 satellites=5 solution3D=false");
        row("GPSLLSol 1 single precision", GPSLLSolId, 1, bytes().f32(47.1f).f32(-8.2f).f32(1.0f).u32(0).u8(0x3F),
            "OKUEvent_GPSLLSol latitude=" + jsonValue(double(47.1f)) + " longitude=" + jsonValue(double(-8.2f))
                + " altitude=1 satellites=31 solution3D=true");
        row("GPSLLSol 0 3D fix", GPSLLSolId, 0, bytes().u32(0).f64(1.5).f64(2.5).f32(3.5f).u32(0).u32(0x23).u32(3).u8(0x01),
            "OKUEvent_GPSLLSol latitude=1.5 longitude=2.5 altitude=3.5 satellites=3 solution3D=true");
        row("GPSLLSol 0 2D fix", GPSLLSolId, 0, bytes().u32(0).f64(1.5).f64(2.5).f32(3.5f).u32(0).u32(7).u32(2).u8(0x01),
            "OKUEvent_GPSLLSol latitude=1.5 longitude=2.5 altitude=3.5 satellites=7 solution3D=false");
        row("GPSTime 1 one flag for both", GPSTimeId, 1, bytes().u32(5000).u16(1999).u8(1).i32(17),
            "OKUEvent_GPSTime timeOfWeek=5000 week=1999 timeValid=true flag6=true leapSeconds=17");
        row("GPSTime 0 flags byte", GPSTimeId, 0, bytes().u32(5000).u16(1999).u8(0x85),
            "OKUEvent_GPSTime timeOfWeek=5000 week=1999 timeValid=true flag6=false leapSeconds=5");
        row("Status 0 bit 6 wins", StatusId, 0, bytes().u8(0xC5),
            "OKUEvent_Status state=3 lineAlert=[true, false, true, false]"
            " lineContinuity=[false, false, false, false] lineOther=[false, false, false, false]");
        row("Status 0 continuity", StatusId, 0, bytes().u8(0xB8),
            "OKUEvent_Status state=1 lineAlert=[false, false, false, false]"
            " lineContinuity=[true, true, true, false] lineOther=[false, false, false, false]");
    }

    void loadsOldEventVersions()
    {
        QFETCH(int, classId);
        QFETCH(int, classVersion);
        QFETCH(QByteArray, fields);
        QFETCH(float, referenceVoltage);
        QFETCH(int, baseVersion);
        QFETCH(QByteArray, expected);

        const QByteArray base = baseVersion == 0 ? ArchiveBytes().f32(referenceVoltage).u8(0x55).u32(750).bytes()
                                                 : eventBase(0.75f, referenceVoltage);
        const StoredEvent event{qint16(classId), quint32(classVersion), fields, base};
        OKUKIPOFlight flight;
        QVERIFY(flight.load(fileWith(flightFile(3, storedEvents({event}, quint32(baseVersion)) + defaultTail()))));
        QCOMPARE(flight.loadError(), QString());
        QCOMPARE(flight.events.size(), size_t(1));
        QCOMPARE(eventSummary(flight.events[0]), expected);
        QCOMPARE(flight.events[0]->time, 0.75f);
        QCOMPARE(flight.events[0]->referenceVoltage, referenceVoltage);
    }

    void loadsOldSettingsVersions_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("expectedDevice");

        const QByteArray defaults = OKUKIPOSettings().deviceBytes();

        // Version 2: the current layout without the last entry of both tables.
        QByteArray old2 = defaults.left(97);
        for (int i = 0; i < 15; ++i) {
            old2[49 + i] = char(i + 2);
            old2[65 + i] = char(9 - i / 2);
        }
        old2.replace(0, 2, "\x01\x02");
        old2[64] = old2[80] = char(0x77);
        old2.replace(81, 2, "\x2A\x10");
        old2[90] = 7;
        old2.replace(94, 3, "\x3E\xAA\xBB");
        QByteArray expected2 = old2.left(95) + QByteArray(4, '\0');
        expected2[64] = defaults.at(64);
        expected2[80] = defaults.at(80);
        QTest::newRow("version 2") << 2 << old2 << expected2;

        // Version 1: 15-entry tables back to back, then the radio channel.
        QByteArray old1 = defaults.left(49) + old2.mid(49, 15) + old2.mid(65, 15) + QByteArray::fromHex("2acdab");
        old1.replace(0, 2, "\x01\x02");
        old1[5] = 2;
        old1[38] = 'X';
        QByteArray expected1 = defaults;
        expected1.replace(0, 64, old1.left(64));
        expected1.replace(65, 15, old1.mid(64, 15));
        expected1[81] = 42;
        QTest::newRow("version 1") << 1 << old1 << expected1;

        // Version 0: separate fields, of which only the firmware version survives.
        ArchiveBytes old0;
        old0.u16(0x0105).raw(QByteArray(8, 0x11)).raw(QByteArray(18, 0x22)).u8(0x33).str("ABCDEF").u8(0x44);
        old0.raw(QByteArray(8, 0x55)).u8(1).u8(2).u8(3).u16(0x6666);
        QByteArray expected0 = defaults;
        expected0[0] = 0x05;
        expected0[1] = 0x01;
        QTest::newRow("version 0") << 0 << old0.bytes() << expected0;
    }

    void loadsOldSettingsVersions()
    {
        QFETCH(int, version);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, expectedDevice);

        OKUKIPOFlight flight;
        const QByteArray tail = ArchiveBytes().u16(7).str("n").raw(storedSettings(quint32(version), true, stored)).u8(1).bytes();
        QVERIFY(flight.load(fileWith(flightFile(3, storedEvents({}) + tail))));
        QCOMPARE(flight.loadError(), QString());
        QVERIFY(flight.settings.valid);
        QVERIFY(flight.settings.hasValidChecksum());
        QCOMPARE(flight.settings.deviceBytes().left(97).toHex(), expectedDevice.left(97).toHex());
        QVERIFY(flight.accelInverted);
    }

    void loadsOldFlightVersions_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QByteArray>("afterNotes");
        QTest::addColumn<float>("timeFactor");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("accelInverted");

        auto settingsWithFirmware = [](quint16 firmware, bool valid) {
            OKUKIPOSettings settings;
            settings.firmwareVersion = firmware;
            settings.updateChecksum();
            return storedSettings(3, valid, settings.deviceBytes());
        };
        QTest::newRow("2, flag 1") << 2 << settingsWithFirmware(528, true) + '\x01' << 1.0f << true << true;
        QTest::newRow("2, flag 2 is not inverted") << 2 << settingsWithFirmware(528, true) + '\x02' << 1.0f << true << false;
        QTest::newRow("1, slow clock 512") << 1 << settingsWithFirmware(512, true) << 1.0297601f << true << false;
        QTest::newRow("1, slow clock 514") << 1 << settingsWithFirmware(514, true) << 1.0297601f << true << false;
        QTest::newRow("1, firmware 515") << 1 << settingsWithFirmware(515, true) << 1.0f << true << false;
        QTest::newRow("1, not valid") << 1 << settingsWithFirmware(513, false) << 1.0f << false << false;
        QTest::newRow("0, no settings") << 0 << QByteArray() << 1.0f << false << false;
    }

    void loadsOldFlightVersions()
    {
        QFETCH(int, version);
        QFETCH(QByteArray, afterNotes);
        QFETCH(float, timeFactor);
        QFETCH(bool, valid);
        QFETCH(bool, accelInverted);

        // Stored out of order: loading sorts them by time.
        const QVector<StoredEvent> events = {
            {AccelZId, 3, ArchiveBytes().f32(2).bytes(), eventBase(10.0f)},
            {AccelZId, 3, ArchiveBytes().f32(1).bytes(), eventBase(0.5f)},
        };
        const QByteArray fields = storedEvents(events) + ArchiveBytes().u16(99).str("old").raw(afterNotes).bytes();
        OKUKIPOFlight flight;
        QVERIFY(flight.load(fileWith(flightFile(quint32(version), fields))));
        QCOMPARE(flight.loadError(), QString());
        QCOMPARE(flight.events.size(), size_t(2));
        QCOMPARE(flight.events[0]->time, 0.5f * timeFactor);
        QCOMPARE(flight.events[1]->time, 10.0f * timeFactor);
        QCOMPARE(flight.value16, quint16(99));
        QCOMPARE(flight.notes, std::string("old"));
        QCOMPARE(flight.settings.valid, valid);
        QCOMPARE(flight.accelInverted, accelInverted);
    }

    void reportsHowTheLoadWent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("events");
        using Outcome = OKUKIPOFlight::LoadOutcome;
        const auto row = [](const char *name, const QByteArray &bytes, Outcome outcome, const QString &error, int events,
                            const QString &path = QString()) {
            QTest::newRow(name) << bytes << path << int(outcome) << error << events;
        };
        const QByteArray golden = goldenFlightBytes();
        const auto damaged = [&golden](int offset, const char *hex) {
            const QByteArray replacement = QByteArray::fromHex(hex);
            return QByteArray(golden).replace(offset, replacement.size(), replacement);
        };
        row("complete", golden, Outcome::Complete, {}, 3);
        row("unknown flight version, nothing read", flightFile(4, golden.mid(flightFieldsOffset)), Outcome::Complete, {}, 0);
        // A null pointer (class id -1) and a reference to the first record (its class id and object id 0).
        QByteArray events = storedEvents({{AccelZId, 3, ArchiveBytes().f32(1).bytes()}});
        events.replace(5, 4, ArchiveBytes().u32(3).bytes());
        events += ArchiveBytes().i16(-1).i16(AccelZId).u32(0).bytes();
        row("empty and repeated entries skipped", flightFile(3, events + defaultTail()), Outcome::Complete, {}, 1);
        // The flight claims to be tracked (tracking 1, version 3, object 0), and
        // the only entry (class 2, tracking 1, version 3) refers to object 0.
        row("reference to the flight itself skipped",
            ArchiveBytes().raw(archiveHeader()).u8(1).u32(3).u32(0).u8(0).u32(0).u32(1).u32(0).i16(AccelZId).u8(1).u32(3)
                .u32(0).raw(defaultTail()).bytes(),
            Outcome::Complete, {}, 0);
        row("cut in the vector's class information", golden.left(flightFieldsOffset + 3), Outcome::Partial,
            "input stream error", 0);
        row("no flight file", "name,time\n", Outcome::NotAFlightFile, "input stream error", 0);
        // Header offsets: 0 signature length, 4 signature, 26 library version, 28 sizes, 32 endian marker.
        const QString format = QStringLiteral("incompatible native format - ");
        row("64-bit long", damaged(29, "08"), Outcome::NotAFlightFile, format + "size of long", 0);
        row("big endian", damaged(32, "00000001"), Outcome::NotAFlightFile, format + "endian setting", 0);
        row("signature", damaged(4, "53"), Outcome::NotAFlightFile, "invalid signature", 0);
        row("signature length", damaged(0, "ffffff7f"), Outcome::NotAFlightFile, "input stream error", 0);
        row("future library", damaged(26, "ff00"), Outcome::NotAFlightFile, "unsupported version", 0);
        // Golden file offsets: 46 event count, 110 the class id of the third
        // record, 138 its first array count, 164 the length of the notes.  After
        // the last record the value16 bytes read as an unknown class id, whose
        // class name the archive then reads past the end.
        row("event count 2^31", damaged(46, "00000080"), Outcome::Partial, "unregistered class", 3);
        row("unknown class id", damaged(110, "2800"), Outcome::Partial, "input stream error", 2);
        row("negative class id", damaged(110, "fbff"), Outcome::Partial, "unregistered class", 2);
        row("status array too long", damaged(138, "05000000"), Outcome::Partial, "array size too short", 2);
        row("notes beyond end of file", damaged(164, "ffffff7f"), Outcome::Partial, "input stream error", 3);
        row("notes length 2^32 - 1", damaged(164, "ffffffff"), Outcome::Partial, "input stream error", 3);
        const QByteArray oversizedCallsign = ArchiveBytes().u16(0x0105).raw(QByteArray(27, 0)).str("ABCDEFG").bytes();
        row("settings 0 with a callsign of 7 characters",
            flightFile(3, storedEvents({}) + ArchiveBytes().u16(7).str("").raw(storedSettings(0, true, oversizedCallsign)).bytes()),
            Outcome::Partial, "array size too short", 0);
        // /proc/self/mem opens, but every read fails (nothing is mapped at address 0).
        row("unreadable", {}, Outcome::Unreadable, {}, 0, "/proc/self/mem");
        row("missing", {}, Outcome::Unreadable, {}, 0, "missing.kipo");
    }

    void reportsHowTheLoadWent()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, path);
        QFETCH(int, outcome);
        QFETCH(QString, error);
        QFETCH(int, events);
        path = path.isEmpty() ? fileWith(bytes) : m_dir.filePath(path);
        OKUKIPOFlight flight;
        flight.notes = "before";
        const bool readable = outcome != int(OKUKIPOFlight::LoadOutcome::Unreadable);
        QCOMPARE(flight.load(path), readable);
        QCOMPARE(int(flight.loadOutcome()), outcome);
        QCOMPARE(int(flight.events.size()), events);
        QCOMPARE(flight.loadError().isEmpty(), readable && error.isEmpty()); // unreadable: the system's reason
        if (readable) {
            QCOMPARE(flight.loadError(), error);
            // Loading replaces the flight; a damaged file keeps none of its fields.
            QVERIFY(flight.notes != "before");
            QVERIFY(outcome == int(OKUKIPOFlight::LoadOutcome::Complete) || flight.notes.empty());
        }
    }

    void survivesTruncationAtEveryByte()
    {
        const QByteArray golden = goldenFlightBytes();
        for (int length = 0; length < golden.size(); ++length) {
            OKUKIPOFlight flight;
            QVERIFY(flight.load(fileWith(golden.left(length))));
            QVERIFY(!flight.loadError().isEmpty());
            QVERIFY(flight.events.size() <= 3);
            for (const OKUEvent *event : flight.events)
                QVERIFY(event);
        }
    }

    void readsEveryStoredBoolAsFalseOrTrue()
    {
        // Any byte but 0 is true, in the status arrays as in single bools.
        QByteArray bytes = goldenFlightBytes();
        const QByteArray arrays = QByteArray::fromHex("04000000" "01000000" "04000000" "00000001");
        bytes.replace(bytes.indexOf(arrays), arrays.size(), QByteArray::fromHex("04000000" "02000000" "04000000" "000000ff"));
        bytes[bytes.size() - 1] = 2;
        OKUKIPOFlight flight;
        QVERIFY(flight.load(fileWith(bytes)));
        QCOMPARE(flight.loadOutcome(), OKUKIPOFlight::LoadOutcome::Complete);
        const QString path = m_dir.filePath(QStringLiteral("resaved.kipo"));
        QVERIFY(flight.save(path));
        QCOMPARE(fileContents(path).toHex(), goldenFlightBytes().toHex());
    }

    void writesIntoReadOnlyFolder_data()
    {
        QTest::addColumn<int>("writer");
        QTest::newRow("flight file") << 0;
        QTest::newRow("export") << 1;
    }

    void writesIntoReadOnlyFolder()
    {
        QFETCH(int, writer);
        OKUKIPOFlight flight;
        fillGoldenFlight(flight);
        auto write = [&](const QString &path) { return writer == 0 ? flight.save(path) : flight.exportCSV(path); };
        const QString expected = m_dir.filePath(QStringLiteral("expected"));
        QVERIFY(write(expected));
        // A folder that takes no new files, holding a file anyone may write.
        const QString folder = m_dir.filePath(QStringLiteral("locked")), path = folder + QStringLiteral("/target");
        QVERIFY(QDir().mkpath(folder) && writeFile(path, "old"));
        QVERIFY(chmod(qPrintable(path), 0666) == 0 && chmod(qPrintable(m_dir.path()), 0755) == 0);
        QVERIFY(chmod(qPrintable(folder), 0555) == 0);
        const bool root = geteuid() == 0; // root may create files in any folder
        QVERIFY(!root || seteuid(65534) == 0);
        const bool written = write(path);
        QVERIFY(!root || seteuid(0) == 0);
        chmod(qPrintable(folder), 0700);
        QVERIFY(written);
        QCOMPARE(fileContents(path), fileContents(expected));
    }

    void saveFailsWithoutTouchingTheTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("fault");
        QTest::newRow("folder missing") << QStringLiteral("missing/flight.kipo") << 0;
        QTest::newRow("target is a folder") << QStringLiteral("folder") << 0;
        // Live-only records have no file form: the archive fails after writing the first events.
        QTest::newRow("archive error midway") << QStringLiteral("existing.kipo") << int(UnsavableRecord);
        // A file size limit makes writes fail as a full disk does.
        QTest::newRow("disk full") << QStringLiteral("existing.kipo") << int(DiskFull);
    }

    void saveFailsWithoutTouchingTheTarget()
    {
        QFETCH(QString, target);
        QFETCH(int, fault);
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));
        const QString path = m_dir.filePath(target);
        if (fault)
            QVERIFY(writeFile(path, goldenFlightBytes()));
        OKUKIPOFlight flight;
        fillGoldenFlight(flight);
        flight.notes = std::string(4096, 'n');
        if (fault == UnsavableRecord)
            flight.events.push_back(new OKUEvent_DeltaTime);
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = previous;
        if (fault == DiskFull)
            limited.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const bool saved = flight.save(path);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!saved);
        if (fault)
            QCOMPARE(fileContents(path), goldenFlightBytes());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral(".kipo.")), QStringList());
    }

    void analysesLongRecordingWhole()
    {
        // Four and a half hours on the pad, every 10 s a pressure reading.
        OKUKIPOFlight flight;
        for (int second = 0; second <= 16200; second += 10)
            insertEvent<OKUEvent_Pressure>(flight, float(second))->pressure = 100000.0f;
        flight.processFlight();
        QVERIFY(flight.kalmanAltitude.back().time >= 16200.0f);
        // A damaged file's stamps may span more than any recording: no export
        // of it is reported written.
        flight.events.back()->time = 1e9f;
        const QString path = m_dir.filePath(QStringLiteral("emulation.csv"));
        QVERIFY(!flight.exportEmulationData(path));
        QVERIFY(!QFile::exists(path));
    }

private:
    QString fileWith(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("flight%1.kipo").arg(++m_fileNumber));
        if (!writeFile(path, bytes))
            qFatal("cannot write test file");
        return path;
    }

    QTemporaryDir m_dir;
    int m_fileNumber = 0;
};

QTEST_GUILESS_MAIN(TestFlightFile)
#include "test_flightfile.moc"

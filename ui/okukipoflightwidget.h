#pragma once

#include "app/studiowindows.h"
#include "ui/qgraphview.h"

#include <QList>
#include <QMdiSubWindow>
#include <QMetaObject>
#include <QWidget>
#include <memory>

class DisplayUnits;
class FlightInfoPanel;
class FlightPlots;
class OKUKIPOFlight;
class OKUStudio;
class QAction;
class QCheckBox;
class QGraph;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWebEngineView;
class SettingsWidget;
struct FlightInformation;

// One flight in its own window: plots of every measurement, the GPS track
// on the map page, the settings that were in force and the flight
// information with the user's notes.  The window trims, zeroes, saves and
// exports the flight it holds.
class OKUKIPOFlightWidget : public QWidget, public FlightWindow
{
    Q_OBJECT

public:
    // `owner` supplies the display units, the MDI area and the menu actions.
    OKUKIPOFlightWidget(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *owner, QWidget *parent = nullptr);
    ~OKUKIPOFlightWidget() override;

    std::shared_ptr<OKUKIPOFlight> flight() const { return m_flight; }

    // The form's widgets, for the main window's actions and for tests.
    QTabWidget *flightTabs() const { return m_flightTabs; }
    QGraph *graph(const QString &objectName) const;
    QAction *kalmanFilteredAction() const;
    QAction *mslAction() const;
    QCheckBox *kalmanFilteredAltitudeBox() const { return m_kalmanFilteredAltitude; }
    QPlainTextEdit *notesEditor() const;
    SettingsWidget *settingsEditor() const { return m_settings; }
    std::shared_ptr<Timelines> timelines() const { return m_timelines; }

signals:
    // Every script the window runs in the map page, as it is run.
    void mapScriptRun(const QString &script);

public slots:
    void browserNavigateComplete();
    void setModified();
    void autoTrimAll();
    void trimTime();
    void zeroTime();
    void save() override;
    void saveAs() override;
    void exportKML();
    void exportCSV();
    void exportEmulationData();
    void exportThrustData();
    void populateData();
    void populateGPSData();
    void focusOnTarget();
    void optimizeAxes();
    void updateGraphUI();
    void registerMainWindowUIActions();

private:
    void buildForm();
    QWidget *buildGpsTab();
    DisplayUnits displayUnits() const;
    bool isCurrentSubWindow() const;
    void runMapScript(const QString &script);
    // After the flight's times changed: redraw everything and mark the change.
    void flightEdited();
    bool saveTo(const QString &path);
    QString askFileName(const QString &caption, const QString &filter);
    void reportExport(bool exported, const QString &failure, const QString &success);

    std::shared_ptr<OKUKIPOFlight> m_flight;
    OKUStudio *m_owner;

    QTabWidget *m_flightTabs = nullptr;
    QWebEngineView *m_webView = nullptr;
    QPushButton *m_populateGPSData = nullptr;
    QPushButton *m_exportKML = nullptr;
    QCheckBox *m_kalmanFilteredAltitude = nullptr;
    SettingsWidget *m_settings = nullptr;
    FlightPlots *m_plots = nullptr;
    FlightInfoPanel *m_information = nullptr;
    std::shared_ptr<Timelines> m_timelines = std::make_shared<Timelines>();
    QList<QMetaObject::Connection> m_actionConnections;
};

// The sub-window of a flight window: asks to save an unsaved flight before
// it closes.
class OKUKIPOFlightSubWindow : public QMdiSubWindow
{
    Q_OBJECT

public:
    explicit OKUKIPOFlightSubWindow(QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;
};

#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QWidget;

// One message box: what it says and which buttons it offers.
struct MessageBoxRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QString informativeText;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Every question the program puts to the user goes through here: message
// boxes, file and number dialogs and other modal dialogs.  Tests install
// an asker that answers them without a person.
class Asker
{
public:
    virtual ~Asker() = default;

    // The button pressed.
    virtual QMessageBox::StandardButton message(QWidget *parent, const MessageBoxRequest &request) = 0;
    virtual void about(QWidget *parent, const QString &title, const QString &text) = 0;
    // Empty when cancelled.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                 const QString &filter) = 0;
    // Empty when cancelled.  Unless overridden, the one file openFileName() gives.
    virtual QStringList openFileNames(QWidget *parent, const QString &caption, const QString &directory,
                                      const QString &filter)
    {
        const QString fileName = openFileName(parent, caption, directory, filter);
        return fileName.isEmpty() ? QStringList() : QStringList(fileName);
    }
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                                 const QString &filter) = 0;
    // Nothing when cancelled.
    virtual std::optional<double> number(QWidget *parent, const QString &title, const QString &label, double value,
                                         double minimum, double maximum, int decimals) = 0;
    // Runs a modal dialog and returns its result code.
    virtual int exec(QDialog &dialog) = 0;

    // The asker of the whole process: real dialogs unless replaced.
    static Asker &current();
    // Installs another asker (tests); the caller keeps ownership.  Null
    // restores the real dialogs.
    static void setCurrent(Asker *asker);
};

// Shorthand for the common one-button boxes.
void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text);

#pragma once

#include "app/asker.h"

#include <QDialog>
#include <QList>
#include <QStringList>

// Answers the program's questions from a script and records what was
// asked.  Installed for its lifetime.  Once a script is used up, boxes
// answer Ok, file and number dialogs are cancelled, dialogs are rejected.
class ScriptedAsker : public Asker
{
public:
    ScriptedAsker() { Asker::setCurrent(this); }
    ~ScriptedAsker() override { Asker::setCurrent(nullptr); }

    QList<QMessageBox::StandardButton> buttons;
    QStringList fileNames;
    QList<std::optional<double>> numbers;

    QList<MessageBoxRequest> messages;
    QStringList fileCaptions;
    QList<double> numberStarts;

    QMessageBox::StandardButton message(QWidget *, const MessageBoxRequest &request) override
    {
        messages.append(request);
        return buttons.isEmpty() ? QMessageBox::Ok : buttons.takeFirst();
    }
    void about(QWidget *, const QString &, const QString &) override {}
    QString openFileName(QWidget *, const QString &caption, const QString &, const QString &) override
    {
        return fileName(caption);
    }
    QString saveFileName(QWidget *, const QString &caption, const QString &, const QString &) override
    {
        return fileName(caption);
    }
    std::optional<double> number(QWidget *, const QString &, const QString &, double value, double, double, int) override
    {
        numberStarts << value;
        return numbers.isEmpty() ? std::nullopt : numbers.takeFirst();
    }
    int exec(QDialog &) override { return QDialog::Rejected; }

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const MessageBoxRequest &request : messages)
            texts << request.text;
        return texts;
    }

private:
    QString fileName(const QString &caption)
    {
        fileCaptions << caption;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
};

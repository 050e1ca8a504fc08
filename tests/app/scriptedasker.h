#pragma once

#include "app/asker.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <functional>

// Answers the program's questions from a script and records what was
// asked.  Installed for its lifetime.
class ScriptedAsker : public Asker
{
public:
    ScriptedAsker() { Asker::setCurrent(this); }
    ~ScriptedAsker() override { Asker::setCurrent(nullptr); }

    // Answers in order; once used up, boxes answer Ok, file dialogs and
    // number dialogs are cancelled, and modal dialogs are rejected.
    QList<QMessageBox::StandardButton> buttons;
    QStringList fileNames;
    QList<std::optional<double>> numbers;
    std::function<int(QDialog &)> dialogs;

    // What was asked.
    QList<MessageBoxRequest> messages;
    QStringList fileCaptions;
    QStringList fileFilters;
    QStringList numberTitles;
    QStringList abouts;

    QMessageBox::StandardButton message(QWidget *, const MessageBoxRequest &request) override
    {
        messages.append(request);
        return buttons.isEmpty() ? QMessageBox::Ok : buttons.takeFirst();
    }

    void about(QWidget *, const QString &title, const QString &text) override { abouts << title << text; }

    QString openFileName(QWidget *, const QString &caption, const QString &, const QString &filter) override
    {
        return fileName(caption, filter);
    }

    QString saveFileName(QWidget *, const QString &caption, const QString &, const QString &filter) override
    {
        return fileName(caption, filter);
    }

    std::optional<double> number(QWidget *, const QString &title, const QString &, double, double, double, int) override
    {
        numberTitles << title;
        return numbers.isEmpty() ? std::nullopt : numbers.takeFirst();
    }

    int exec(QDialog &dialog) override { return dialogs ? dialogs(dialog) : int(QDialog::Rejected); }

private:
    QString fileName(const QString &caption, const QString &filter)
    {
        fileCaptions << caption;
        fileFilters << filter;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
};

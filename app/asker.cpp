#include "app/asker.h"

#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>

namespace {

class DialogAsker : public Asker
{
public:
    QMessageBox::StandardButton message(QWidget *parent, const MessageBoxRequest &request) override
    {
        QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
        box.setInformativeText(request.informativeText);
        if (request.defaultButton != QMessageBox::NoButton)
            box.setDefaultButton(request.defaultButton);
        return QMessageBox::StandardButton(box.exec());
    }

    void about(QWidget *parent, const QString &title, const QString &text) override
    {
        QMessageBox::about(parent, title, text);
    }

    QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                         const QString &filter) override
    {
        return QFileDialog::getOpenFileName(parent, caption, directory, filter);
    }

    QStringList openFileNames(QWidget *parent, const QString &caption, const QString &directory,
                              const QString &filter) override
    {
        return QFileDialog::getOpenFileNames(parent, caption, directory, filter);
    }

    QString saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                         const QString &filter) override
    {
        return QFileDialog::getSaveFileName(parent, caption, directory, filter);
    }

    std::optional<double> number(QWidget *parent, const QString &title, const QString &label, double value,
                                 double minimum, double maximum, int decimals) override
    {
        bool accepted = false;
        const double answer = QInputDialog::getDouble(parent, title, label, value, minimum, maximum, decimals, &accepted);
        if (!accepted)
            return std::nullopt;
        return answer;
    }

    int exec(QDialog &dialog) override { return dialog.exec(); }
};

Asker *installedAsker = nullptr;

} // namespace

Asker &Asker::current()
{
    static DialogAsker dialogs;
    return installedAsker ? *installedAsker : dialogs;
}

void Asker::setCurrent(Asker *asker)
{
    installedAsker = asker;
}

void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    MessageBoxRequest request;
    request.icon = icon;
    request.title = title;
    request.text = text;
    Asker::current().message(parent, request);
}

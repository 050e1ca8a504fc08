#include "app/okustudio.h"

OKUStudio::OKUStudio(const QString &file, QWidget *parent)
    : QMainWindow(parent)
{
    Q_UNUSED(file)
    setWindowTitle(QStringLiteral("OKU KIPO Studio"));
}

#include "ui/formbuilding.h"

#include "ui/qgraph.h"

#include <QGroupBox>
#include <QLayout>
#include <QPushButton>
#include <QVBoxLayout>

QPushButton *addButton(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    parent->layout()->addWidget(button);
    return button;
}

QGroupBox *newGroupBox(const QString &objectName, const QString &title, QWidget *parent)
{
    auto *group = new QGroupBox(title, parent);
    group->setObjectName(objectName);
    return group;
}

QGraph *addGraphGroup(const QString &objectName, const QString &title, QWidget *container)
{
    QGroupBox *group = newGroupBox(objectName + QStringLiteral("Group"), title, container);
    auto *graph = new QGraph(group);
    graph->setObjectName(objectName);
    (new QVBoxLayout(group))->addWidget(graph);
    container->layout()->addWidget(group);
    return graph;
}

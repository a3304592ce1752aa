#pragma once
// The five pictures of the main window's navigation bar, drawn here so they look the same on
// every desktop theme: data source, data grid, edit conflict, information, about.

#include <QIcon>
#include <QList>

QList<QIcon> navigationIcons();

#include "Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

QString screenshotFolder() {
    return qEnvironmentVariable("VANTREL_SCREENSHOT_DIR");
}

bool snap(QWidget* widget, const QString& name) {
    const QString folder = screenshotFolder();
    if (folder.isEmpty()) {
        return true;
    }
    if (!QDir().mkpath(folder)) {
        return false;
    }
    // Pending layout and paint requests first, so the picture shows what a user would see.
    QApplication::processEvents();
    const QPixmap picture = widget->grab();
    return !picture.isNull() && picture.save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

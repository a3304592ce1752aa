#pragma once
// Pictures of the journey for a reviewer without a display: when VANTREL_SCREENSHOT_DIR names a
// folder, snap() renders a widget there as <name>.png; otherwise it does nothing.

#include <QString>

class QWidget;

// The folder pictures go to, empty when none are wanted.
QString screenshotFolder();

// Renders the widget (laid out and painted as it stands) into the folder. True when no picture
// is wanted or the picture was written.
bool snap(QWidget* widget, const QString& name);

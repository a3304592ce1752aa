#pragma once
// The application-wide hourglass for the lifetime of one scope, restored on every way out.

#include <QApplication>
#include <QCursor>

class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TBusyCursor() { release(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

    // Restores the cursor early, for instance before a message box is shown.
    void release() {
        if (active) {
            active = false;
            QApplication::restoreOverrideCursor();
        }
    }

private:
    bool active = true;
};

#include "ui/OleDbMessageBox.h"

#include "ui/QtText.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

int showOleDbMessageBox(HWND owner, const char* text, const char* caption, UINT) {
    QMessageBox box(QMessageBox::NoIcon, toQString(caption != nullptr ? caption : ""),
                    toQString(text != nullptr ? text : ""), QMessageBox::Ok,
                    reinterpret_cast<QWidget*>(owner));
    box.setTextFormat(Qt::PlainText); // a provider's message is never markup
    // The box usually comes up while an operation shows the hourglass; it is answered with the
    // ordinary pointer, and the hourglass returns afterwards.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) {
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    }
    box.exec();
    if (busy) {
        QApplication::restoreOverrideCursor();
    }
    return IDOK;
}

#include "ui/OleDbMessageBox.h"

#include "ui/QtText.h"

#include <QMessageBox>

int showOleDbMessageBox(HWND owner, const char* text, const char* caption, UINT) {
    QMessageBox box(QMessageBox::NoIcon, toQString(caption != nullptr ? caption : ""),
                    toQString(text != nullptr ? text : ""), QMessageBox::Ok,
                    reinterpret_cast<QWidget*>(owner));
    box.setTextFormat(Qt::PlainText); // a provider's message is never markup
    box.exec();
    return IDOK;
}

#include "ui/MessageBoxes.h"

#include "ui/QtText.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

namespace {

class TQtMessageBoxes : public TMessageBoxes {
public:
    void information(QWidget* parent, const std::string& text) override {
        show(parent, QMessageBox::Information, QStringLiteral("Information"), toQString(text));
    }
    void error(QWidget* parent, const std::string& text) override {
        show(parent, QMessageBox::Critical, QStringLiteral("Error"), toQString(text));
    }
    void errorWithCaption(QWidget* parent, const std::string& caption,
                          const std::string& text) override {
        show(parent, QMessageBox::Critical, toQString(caption), toQString(text));
    }

private:
    static void show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                     const QString& text) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
        box.setTextFormat(Qt::PlainText); // provider and user text is never markup
        // A box shown from under the hourglass gets the ordinary pointer while it waits.
        const bool busy = QApplication::overrideCursor() != nullptr;
        if (busy)
            QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        box.exec();
        if (busy)
            QApplication::restoreOverrideCursor();
    }
};

TQtMessageBoxes qtBoxes;
TMessageBoxes* current = &qtBoxes;

} // namespace

TMessageBoxes& messageBoxes() {
    return *current;
}

TMessageBoxes* setMessageBoxes(TMessageBoxes* boxes) {
    TMessageBoxes* previous = current == &qtBoxes ? nullptr : current;
    current = boxes ? boxes : &qtBoxes;
    return previous;
}

void showInformation(QWidget* parent, const std::string& text) {
    messageBoxes().information(parent, text);
}

void showError(QWidget* parent, const std::string& text) {
    messageBoxes().error(parent, text);
}

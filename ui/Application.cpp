#include "ui/Application.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "ui/MessageBoxes.h"

#include <exception>
#include <new>

namespace {
std::string& title() {
    static std::string text;
    return text;
}
} // namespace

const std::string& applicationTitle() {
    return title();
}

void setApplicationTitle(const std::string& text) {
    title() = text;
}

std::string messageWithFullStop(const std::string& message) {
    if (message.empty() || static_cast<unsigned char>(message.back()) <= '.')
        return message;
    return message + '.';
}

void showUnhandledException(const std::string& message) {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    messageBoxes().errorWithCaption(QApplication::activeWindow(), applicationTitle(),
                                    messageWithFullStop(message));
}

void showCurrentException() {
    try {
        throw;
    } catch (const Exception& e) {
        showUnhandledException(e.message());
    } catch (const std::bad_alloc&) {
        showUnhandledException(utf8ToCp1250("Nedostatek paměti"));
    } catch (const std::exception& e) {
        showUnhandledException(utf8ToCp1250(e.what()));
    } catch (...) {
        showUnhandledException(utf8ToCp1250("Neznámá výjimka"));
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    // Qt cannot let an exception pass through its event loop, so every one ends here.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showCurrentException();
    }
    return false;
}

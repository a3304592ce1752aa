#pragma once
// The application object. Its notify() is the default exception handler: an exception that
// leaves an event handler is shown in an error box captioned with the application title, and
// any hourglass left behind is taken down first.

#include <QApplication>
#include <string>

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The application title (Windows-1250): the main window's caption, set when it is created.
const std::string& applicationTitle();
void setApplicationTitle(const std::string& title);

// The text the exception handler shows: the message with a full stop appended unless it ends in
// one or in a character that sorts before it. An empty message is left empty.
std::string messageWithFullStop(const std::string& message);

// Shows an uncaught exception's message (Windows-1250) as the default handler does.
void showUnhandledException(const std::string& message);

// Shows the exception being handled as the default handler does; call it only inside a catch
// block. Used by notify() and by whoever must stop an exception that no event loop would catch,
// such as one from the main window's creation.
void showCurrentException();

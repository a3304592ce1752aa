// The bench program: one OLE DB main window and the message loop.

#include "ui/Application.h"
#include "ui/Fo_Main.h"
#include "ui/OleDbMessageBox.h"

#include "vantrel/MessageBox.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    VantrelSetMessageBoxHandler(showOleDbMessageBox);
    int result = 1;
    try {
        TFoMain window;
        window.show();
        result = application.exec();
    } catch (...) {
        // Only the window's creation can get here (the event loop stops every exception in
        // TApplication::notify). The failed creation has already torn down what it set up.
        showCurrentException();
    }
    VantrelSetMessageBoxHandler(nullptr);
    return result;
}

// The bench program: one OLE DB main window and the message loop.

#include "ui/Application.h"
#include "ui/Fo_Main.h"
#include "ui/OleDbMessageBox.h"

#include "vantrel/MessageBox.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    VantrelSetMessageBoxHandler(showOleDbMessageBox);
    int result = 0;
    {
        TFoMain window;
        window.show();
        result = application.exec();
    }
    VantrelSetMessageBoxHandler(nullptr);
    return result;
}

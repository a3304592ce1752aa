#pragma once
// Every message box of the windows goes through here, so tests can record boxes instead of
// blocking on them. Texts are Windows-1250; each box is modal with one OK button.

#include <QWidget>
#include <string>

class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;
    // Caption "Information", information icon.
    virtual void information(QWidget* parent, const std::string& text) = 0;
    // Caption "Error", error icon.
    virtual void error(QWidget* parent, const std::string& text) = 0;
    // Error icon with a caption of the caller's choosing (the application's exception handler
    // uses the application title).
    virtual void errorWithCaption(QWidget* parent, const std::string& caption,
                                  const std::string& text) = 0;
};

// The boxes in use: Qt message boxes unless replaced.
TMessageBoxes& messageBoxes();
// Replaces the boxes in use (nullptr restores the Qt ones) and returns the previous ones. The
// caller keeps ownership and must restore before destroying its own.
TMessageBoxes* setMessageBoxes(TMessageBoxes* boxes);

void showInformation(QWidget* parent, const std::string& text);
void showError(QWidget* parent, const std::string& text);

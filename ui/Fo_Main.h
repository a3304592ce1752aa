#pragma once
// TFoMain: the main window of the OLE DB variant. It sets up and tears down the OLE DB
// environment, fills the provider list from the OLE DB enumerator, keeps the connection string
// of the chosen provider in Options.ini, builds TOLEDBCommunicator objects and hosts the
// concurrent-edit conflict test.

#include "ui/Fo_MainAncestor.h"
#include "ui/PlainTextMemo.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

class TFoMain : public TFoMainAncestor {
    Q_OBJECT

public:
    explicit TFoMain(QWidget* parent = nullptr);
    ~TFoMain() override;

protected:
    // Environment, generic creation, provider list, settings: in this order.
    void FormCreate();
    // Generic destruction (the communicator disconnected while COM is still there), then the
    // environment released.
    void FormDestroy();

    void CBDriversChange();
    void TSRecordLockEnter() override;
    void CBTypeChange();
    void BtnStartCRClick();

    std::unique_ptr<TCommunicator> createCommunicator() override;
    void loadSettings() override;
    void saveSettings() override;
    void afterConnect(TCommunicator* connected) override;

    // Sets EdConnStr and copies it to MeConnStr.
    void setConnectionString(const QString& text);

    QLabel* Label9;
    QLabel* Label6;
    QLabel* LblType;
    QComboBox* CBType;
    QLabel* LblTypeDescr;
    QPushButton* BtnStartCR;
    QLabel* LblNote;
    QLabel* Label7;
    QPlainTextEdit* MeCRProgress;

private:
    void buildTexts();
    void buildRecordLockPage();

    TPlainTextMemo crProgressMemo;
    bool created = false;
};

#pragma once
// TMemo over a read-only QPlainTextEdit: the operation log, the information page.

#include "core/Memo.h"

#include <QPlainTextEdit>
#include <QPointer>

class TPlainTextMemo : public TMemo {
public:
    explicit TPlainTextMemo(QPlainTextEdit* edit = nullptr) : edit(edit) {}

    void attach(QPlainTextEdit* widget) { edit = widget; }

    void addLine(const std::string& line) override;
    void clear() override;

private:
    QPointer<QPlainTextEdit> edit; // lines for a widget already gone are dropped
};

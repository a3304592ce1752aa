#include "ui/PlainTextMemo.h"

#include "ui/QtText.h"

void TPlainTextMemo::addLine(const std::string& line) {
    if (edit)
        edit->appendPlainText(toQString(line));
}

void TPlainTextMemo::clear() {
    if (edit)
        edit->clear();
}

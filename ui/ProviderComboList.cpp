#include "ui/ProviderComboList.h"

#include "ui/QtText.h"

void TProviderComboList::clear() {
    combo->clear();
}

void TProviderComboList::addItem(const std::string& description, int providerIndex) {
    const QString text = toQString(description);
    int position = 0;
    while (position < combo->count() &&
           QString::compare(combo->itemText(position), text, Qt::CaseInsensitive) <= 0) {
        ++position;
    }
    combo->insertItem(position, text, providerIndex);
}

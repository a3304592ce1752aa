#pragma once
// The provider list CBDrivers as the OLE DB layer fills it: items kept sorted by their text
// (without regard to letter case, as a sorted combo box does), each carrying the provider's index
// in providerNames as its item data.

#include "oledb/ProviderList.h"

#include <QComboBox>

class TProviderComboList : public TProviderList {
public:
    explicit TProviderComboList(QComboBox* combo) : combo(combo) {}

    void clear() override;
    void addItem(const std::string& description, int providerIndex) override;

private:
    QComboBox* combo;
};

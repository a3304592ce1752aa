#pragma once
// The item list of the window's provider list, as the OLE DB layer fills it: each item is a
// provider's description carrying the index of that provider's name in providerNames.

#include <string>

class TProviderList {
public:
    virtual ~TProviderList() = default;
    virtual void clear() = 0;
    // Adds an item; the list may sort it anywhere, so only the index identifies the provider.
    virtual void addItem(const std::string& description, int providerIndex) = 0;
};

// The example CSV provider as the kit registers it: its class, its names and its
// initialisation properties.
//
//   Data Source          the directory whose *.csv files are the tables (required).
//   Extended Properties  "Delimiter=;" (or "Delimiter=Tab") for files not separated by commas.
#pragma once

#include <kit/Backend.h>
#include <kit/KitProvider.h>

#include <cstdint>

namespace csvprovider {

// The published ids of the two DBPROPSET_DBINIT properties the provider declares.
inline constexpr std::uint32_t propDataSource = 0x3b;     // DBPROP_INIT_DATASOURCE
inline constexpr std::uint32_t propProviderString = 0xa0; // DBPROP_INIT_PROVIDERSTRING

const vantrel::kit::ProviderDescriptor& csvProviderDescriptor();

} // namespace csvprovider

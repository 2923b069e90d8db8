#pragma once
// The effect catalogue: every filter Karto offers, registered with the
// platform's filter registry under its category. RegisterCatalogue does it
// once (later calls do nothing); the programs call it before they look up
// filters. Each family registers its filters in the order they are listed
// to the user.

namespace karto {

void RegisterCatalogue();

void RegisterBlurFilters();
void RegisterColorFilters();
void RegisterAdjustFilters();
void RegisterCompositeFilters();
void RegisterDistortionFilters();
void RegisterGeneratorFilters();
void RegisterGeometryFilters();
void RegisterStyleFilters();
void RegisterTileFilters();
void RegisterTransitionFilters();

}  // namespace karto

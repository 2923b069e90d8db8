#include "imaging/Catalogue.h"

#include <mutex>

namespace karto {

void RegisterCatalogue() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterBlurFilters();
    RegisterColorFilters();
    RegisterAdjustFilters();
    RegisterCompositeFilters();
    RegisterDistortionFilters();
    RegisterGeneratorFilters();
    RegisterGeometryFilters();
    RegisterStyleFilters();
    RegisterTileFilters();
    RegisterTransitionFilters();
  });
}

}  // namespace karto

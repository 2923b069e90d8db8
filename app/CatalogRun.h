#pragma once
// The catalogue's filter run off the window's thread (KartoCatalogue.cpp).

#include <QFutureWatcher>

#include "app/KartoWindow.h"

namespace karto {

struct TfrmKarto::TCatalogRun {
  QFutureWatcher<TBitmap> watcher;
  // A change came while a job ran: run again with the newest values once
  // it ends.
  bool pending = false;
  // Bumped by every request; a job's result shows only when no request came
  // after it.
  uint64_t generation = 0;
  uint64_t running = 0;
};

}  // namespace karto

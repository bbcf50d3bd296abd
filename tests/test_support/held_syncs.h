#pragma once
// Holds the background syncs of one syncer while it lives, so a test sees
// what a power loss would find before they ran: the new versions written
// but not on disk, their previous versions still in the spare files.

#include "lumenfold/common/state_file.h"

namespace lumenfold::testing {

class HeldSyncs {
 public:
  explicit HeldSyncs(common::StateFileSyncer& syncer) : syncer_(syncer) { syncer_.TEST_hold(true); }
  ~HeldSyncs() { syncer_.TEST_hold(false); }
  HeldSyncs(const HeldSyncs&) = delete;
  HeldSyncs& operator=(const HeldSyncs&) = delete;

 private:
  common::StateFileSyncer& syncer_;
};

}  // namespace lumenfold::testing

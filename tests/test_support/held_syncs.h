#pragma once
// Holds the background syncs of state files while it lives, so a test sees
// what a power loss would find before they ran: the new versions written
// but not on disk, their previous versions still in the spare files.

#include "lumenfold/common/state_file.h"

namespace lumenfold::testing {

class HeldSyncs {
 public:
  HeldSyncs() { common::TEST_hold_state_file_syncs(true); }
  ~HeldSyncs() { common::TEST_hold_state_file_syncs(false); }
  HeldSyncs(const HeldSyncs&) = delete;
  HeldSyncs& operator=(const HeldSyncs&) = delete;
};

}  // namespace lumenfold::testing

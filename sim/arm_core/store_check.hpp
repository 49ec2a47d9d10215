// While one of these lives, stores to RAM are checked for translated code in their page (a core
// that runs code from SRAM needs it); see store_check.cpp.
#pragma once

namespace sim::arm {

class StoreCheckNeeded {
  public:
    StoreCheckNeeded();
    ~StoreCheckNeeded();
    StoreCheckNeeded(const StoreCheckNeeded&) = delete;
    StoreCheckNeeded& operator=(const StoreCheckNeeded&) = delete;
};

}  // namespace sim::arm

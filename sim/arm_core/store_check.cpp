// Stores to RAM without the emulator's check for code in the page.
//
// The emulator (Unicorn 2.0.1, as Debian ships it) never marks a RAM page as free of translated
// code, so every store takes its slow path: it locks a collection of pages (allocating a tree)
// and looks for code to invalidate. That is about 70 ns a store, a third of the time the image
// takes (measured with a profiler and a loop of stores: 85 ns a store, 15 ns without the check).
// The images run here never execute from SRAM, and flash is read-only to the core, so the check
// can never find anything. These definitions stand in for the library's own (its calls bind to
// the executable's definitions first); while any core needs the check — one that runs code from
// SRAM — they hand over to the library's.
#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "store_check.hpp"

namespace sim::arm {

namespace {
std::atomic<int> g_coresNeedingTheCheck{0};

template <typename Function>
Function Library(const char* name) {
    void* found = dlsym(RTLD_NEXT, name);
    if (found == nullptr) {
        std::fprintf(stderr, "emulated core: the emulator has no %s\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}

bool Checking() {
    return g_coresNeedingTheCheck.load(std::memory_order_relaxed) != 0;
}
}  // namespace

StoreCheckNeeded::StoreCheckNeeded() {
    ++g_coresNeedingTheCheck;
}

StoreCheckNeeded::~StoreCheckNeeded() {
    --g_coresNeedingTheCheck;
}

}  // namespace sim::arm

extern "C" {

void* page_collection_lock_arm(void* uc, uint64_t start, uint64_t end) {
    if (!sim::arm::Checking()) {
        return nullptr;
    }
    using Lock = void* (*)(void*, uint64_t, uint64_t);
    static const Lock lock = sim::arm::Library<Lock>("page_collection_lock_arm");
    return lock(uc, start, end);
}

void page_collection_unlock_arm(void* pages) {
    if (pages == nullptr) {
        return;
    }
    using Unlock = void (*)(void*);
    static const Unlock unlock = sim::arm::Library<Unlock>("page_collection_unlock_arm");
    unlock(pages);
}

void tb_invalidate_phys_page_fast_arm(void* uc, void* pages, uint64_t start, int length,
                                      uintptr_t returnAddress) {
    if (pages == nullptr) {
        return;
    }
    using Invalidate = void (*)(void*, void*, uint64_t, int, uintptr_t);
    static const Invalidate invalidate =
        sim::arm::Library<Invalidate>("tb_invalidate_phys_page_fast_arm");
    invalidate(uc, pages, start, length, returnAddress);
}

}  // extern "C"

#pragma once
// Case-insensitive name handling. Parameter, unit and setting names of a setup are
// compared without regard to letter case ("isMotori2t" and "isMotorI2t" are one
// parameter). Only ASCII letters fold; unit names such as "°C" compare byte for byte.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/setup/bulk_memory.h"

namespace axis {

/// True when the two names are equal without regard to ASCII letter case.
bool NamesEqual(std::string_view a, std::string_view b);

/// Hash of a name without regard to ASCII letter case ("KPI" and "kpi" hash alike),
/// computed without building a folded copy. Seeded once per process, so that a file
/// cannot be made of names that all fall on one place of an index.
std::uint64_t FoldedNameHash(std::string_view name);

/// Named things of a setup (parameters, variables), found by name in any letter case.
/// An open-addressing table of (hash, pointer): the names stay in the things, a look-up
/// builds no string, and adding a name touches one place of memory, which is what
/// loading a setup of a million parameters spends its time on. A thing's home is given
/// by the top bits of its hash, so the table stays ordered by hash and growing it is
/// one pass through memory.
template <class T>
class NameIndex {
  public:
    T* Find(std::string_view name) const {
        if (slots_.empty()) return nullptr;
        const std::uint64_t hash = FoldedNameHash(name);
        for (std::size_t i = Home(hash);; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.item) return nullptr;
            if (slot.hash == hash && NamesEqual(slot.item->GetName(), name)) return slot.item;
        }
    }
    /// Fetches the place of `name` into the cache, for an Insert or a Find that follows
    /// a little later: a reader that knows a name before it has the rest of the thing
    /// hides the wait for memory behind its reading.
    void Prefetch(std::string_view name) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[Home(FoldedNameHash(name))]);
    }
    /// False (and nothing added) when a thing of that name in any letter case is there.
    bool Insert(T* item) {
        // At most half full: a look-up then meets one or two neighbours, mostly in the
        // same cache line.
        if (2 * (count_ + 1) > slots_.size()) Grow();
        const std::uint64_t hash = FoldedNameHash(item->GetName());
        for (std::size_t i = Home(hash);; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (!slot.item) {
                slot = {hash, item};
                ++count_;
                return true;
            }
            if (slot.hash == hash && NamesEqual(slot.item->GetName(), item->GetName()))
                return false;
        }
    }

  private:
    struct Slot {
        std::uint64_t hash = 0;
        T* item = nullptr;
    };
    std::size_t Home(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> shift_); }
    void Grow() {
        Slots old(slots_.empty() ? 16 : 2 * slots_.size());
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        shift_ = 64 - std::countr_zero(slots_.size());
        for (const Slot& slot : old) {
            if (!slot.item) continue;
            std::size_t i = Home(slot.hash);
            while (slots_[i].item) i = (i + 1) & mask_;
            slots_[i] = slot;
        }
    }

    using Slots = std::vector<Slot, BulkAllocator<Slot>>;
    Slots slots_;
    std::size_t count_ = 0;
    std::size_t mask_ = 0;
    int shift_ = 64;
};

}  // namespace axis

#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/Collation.h"
#include "platform/core/CString.h"

// What the value formatters produce: display placeholders ("Large Blob Data",
// "0x<Binarydata>", "Spatial Data") or the full values a save writes.
enum class ValueMode : std::uint8_t { Display, Save };

// Everything one read needs besides the table's files. Each reader owns its own, so two
// readers on two threads share nothing they change; the collation table is shared and
// only read.
struct ReadContext {
    const CollationMap* collations = nullptr;
    ValueMode mode = ValueMode::Display;
    // Folder that receives blobdata/<counter> for off-page values in save mode.
    CString blobFolder;
    std::uint64_t blobCounter = 0;
    // Save mode only: off-page BLOB and TEXT values come back whole in the cell instead
    // of as the path of a blobdata file (a script carries the value itself).
    bool inlineOffPage = false;
    // TIMESTAMP values in UTC rather than local time (a script loads them with
    // time_zone '+00:00', which never meets a local clock's skipped or doubled hour).
    bool utcTimestamps = false;
    // What the reads since the last TakeLosses could not give back whole, one line each:
    // where (file, page, offset) and why. Value formatting, which reads only, reports too.
    mutable std::vector<CString> losses;

    bool IsSave() const { return mode == ValueMode::Save; }
    const CollationEntry* FindCollation(std::uint32_t id) const {
        if (!collations) return nullptr;
        const auto it = collations->find(id);
        return it == collations->end() ? nullptr : &it->second;
    }
    void ReportLoss(CString text) const { losses.push_back(std::move(text)); }
    std::vector<CString> TakeLosses() { return std::exchange(losses, {}); }
};

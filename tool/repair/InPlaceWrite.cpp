#include "tool/repair/InPlaceWrite.h"

#include "mediafmt/io/Buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace boxmend {

using namespace mediafmt;

namespace {

// The most bytes read or written in one call when a range is large.
constexpr std::uint64_t piece = 256 * 1024;

ResultCode seekTo(io::Io& stream, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return result::invalidOperation;
    return stream.seek(static_cast<std::int64_t>(offset), io::SeekOrigin::begin);
}

ResultCode writeAt(io::Io& stream, std::uint64_t offset, const std::uint8_t* bytes,
                   std::uint64_t count) {
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    std::uint64_t put = 0;
    if (ResultCode rc = stream.write(bytes, count, put); rc != 0)
        return rc;
    return put == count ? result::none : result::writeError;
}

// Reads count bytes at offset through the stream's ordinary reads; fewer
// gives 10.
ResultCode readAt(io::Io& stream, std::uint64_t offset, std::uint8_t* bytes, std::uint64_t count) {
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    std::uint64_t got = 0;
    if (ResultCode rc = stream.read(bytes, count, got); rc != 0)
        return rc;
    return got == count ? result::none : result::readError;
}

// Appends to plan a change for every run of bytes that differs between
// before and after, n bytes found at offset at. Equal blocks are passed over
// whole. A run that goes on from the plan's last change joins it, unless it
// starts at regionStart: runs on either side of a fill stay apart.
void addRuns(RepairPlan& plan, std::uint64_t at, std::uint64_t regionStart,
             const std::uint8_t* before, const std::uint8_t* after, std::size_t n) {
    constexpr std::size_t block = 64;
    for (std::size_t i = 0; i < n;) {
        const std::size_t step = std::min(block, n - i);
        if (std::memcmp(before + i, after + i, step) == 0) {
            i += step;
            continue;
        }
        while (before[i] == after[i])
            ++i;
        std::size_t end = i + 1;
        while (end < n && before[end] != after[end])
            ++end;
        ByteChange* last = plan.changes.empty() ? nullptr : &plan.changes.back();
        if (last != nullptr && at + i != regionStart &&
            last->offset + last->bytes.size() == at + i) {
            last->bytes.insert(last->bytes.end(), after + i, after + end);
            last->original.insert(last->original.end(), before + i, before + end);
        } else {
            plan.changes.push_back({at + i, {after + i, after + end}, {before + i, before + end}});
        }
        i = end;
    }
}

// Takes a box's encoding through its writes and compares it, a piece at a
// time, with the bytes the stream holds from offset on. The bytes in
// [fillBegin, fillEnd), counted from offset, are neither read nor compared.
// With a plan, every run that differs becomes one of its changes.
class StoredComparison final : public io::Io {
public:
    StoredComparison(io::Io& stream, std::uint64_t offset, std::uint64_t length,
                     std::uint64_t fillBegin, std::uint64_t fillEnd, RepairPlan* plan)
        : stream_(stream), offset_(offset), length_(length), fillBegin_(fillBegin),
          fillEnd_(std::max(fillBegin, fillEnd)), plan_(plan) {
        encoded_.reserve(static_cast<std::size_t>(std::min(length, piece)));
    }

    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override {
        bytesWritten = count;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        // Bytes past the expected length are only counted: the length decides.
        std::uint64_t usable = made_ < length_ ? std::min(count, length_ - made_) : 0;
        made_ += count;
        while (usable > 0 && failure_ == 0) {
            const std::size_t room = static_cast<std::size_t>(piece) - encoded_.size();
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(usable, room));
            encoded_.insert(encoded_.end(), bytes, bytes + n);
            bytes += n;
            usable -= n;
            if (encoded_.size() == piece)
                compareHeld();
        }
        return result::none;
    }
    [[nodiscard]] ResultCode read(void*, std::uint64_t, std::uint64_t&) override {
        return result::invalidOperation;
    }
    [[nodiscard]] ResultCode seek(std::int64_t, io::SeekOrigin) override {
        return result::invalidOperation;
    }
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override {
        position = made_;
        return result::none;
    }
    [[nodiscard]] ResultCode eof(bool& atEnd) override {
        atEnd = false;
        return result::none;
    }

    // The outcome once the encoding is made: 4 when it is not length bytes
    // long, differs (compared without a plan) or the stream ends first; a
    // failed read's code.
    [[nodiscard]] ResultCode finish() {
        if (made_ != length_)
            return result::invalidOperation;
        if (failure_ == 0)
            compareHeld();
        if (failure_ != 0)
            return failure_;
        return differs_ ? result::invalidOperation : result::none;
    }

private:
    // Compares the bytes held, which follow the done_ bytes compared before.
    void compareHeld() {
        if (!checkedLength_) {
            checkedLength_ = true;
            std::uint64_t available = 0;
            if (ResultCode rc = stream_.size(available); rc != 0) {
                failure_ = rc;
                return;
            }
            if (offset_ > available || length_ > available - offset_) {
                failure_ = result::invalidOperation;
                return;
            }
        }
        const std::uint64_t from = done_;
        const std::uint64_t to = done_ + encoded_.size();
        compareSpan(from, std::min(to, fillBegin_), 0);
        compareSpan(std::max(from, fillEnd_), to, fillEnd_);
        done_ = to;
        encoded_.clear();
    }

    // Compares [from, to) of the box, which lies in the region that starts at
    // regionStart, with the stream.
    void compareSpan(std::uint64_t from, std::uint64_t to, std::uint64_t regionStart) {
        if (from >= to || failure_ != 0)
            return;
        const auto n = static_cast<std::size_t>(to - from);
        stored_.resize(n);
        std::uint64_t got = 0;
        if (ResultCode rc = seekTo(stream_, offset_ + from); rc != 0) {
            failure_ = rc;
            return;
        }
        if (ResultCode rc = stream_.read(stored_.data(), n, got); rc != 0) {
            failure_ = rc;
            return;
        }
        if (got != n) {
            failure_ = result::invalidOperation;
            return;
        }
        const std::uint8_t* made = encoded_.data() + (from - done_);
        if (plan_ != nullptr)
            addRuns(*plan_, offset_ + from, offset_ + regionStart, stored_.data(), made, n);
        else
            differs_ = differs_ || std::memcmp(stored_.data(), made, n) != 0;
    }

    io::Io& stream_;
    const std::uint64_t offset_;
    const std::uint64_t length_;
    const std::uint64_t fillBegin_;
    const std::uint64_t fillEnd_;
    RepairPlan* const plan_;
    // Encoded bytes not compared yet, which follow the done_ bytes compared.
    std::vector<std::uint8_t> encoded_;
    std::vector<std::uint8_t> stored_;
    std::uint64_t done_ = 0;
    std::uint64_t made_ = 0;
    bool checkedLength_ = false;
    bool differs_ = false;
    ResultCode failure_ = result::none;
};

} // namespace

ResultCode encodeBox(const mp4::box::Box& box, std::vector<std::uint8_t>& bytes) {
    std::uint64_t total = 0;
    if (ResultCode rc = box.size(total); rc != 0)
        return rc;
    // Written into the storage bytes already has, made large enough at once:
    // encoding a large box again costs no new memory, and nothing is copied.
    bytes.clear();
    io::Buffer buffer(std::move(bytes));
    buffer.reserve(total);
    ResultCode rc = box.write(&buffer, true);
    bytes = buffer.takeBytes();
    return rc;
}

ResultCode verifyStored(io::Io& stream, std::uint64_t offset,
                        const std::vector<std::uint8_t>& expected) {
    std::uint64_t length = 0;
    if (ResultCode rc = stream.size(length); rc != 0)
        return rc;
    if (offset > length || expected.size() > length - offset)
        return result::invalidOperation;
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    // Compared a piece at a time, so a large box is not held twice; every
    // piece is read even after a difference, so the stream ends up where one
    // read of the whole would leave it.
    std::vector<std::uint8_t> stored(std::min<std::size_t>(expected.size(), piece));
    bool same = true;
    std::uint64_t compared = 0;
    while (compared < expected.size()) {
        const std::uint64_t n = std::min<std::uint64_t>(piece, expected.size() - compared);
        std::uint64_t got = 0;
        if (ResultCode rc = stream.read(stored.data(), n, got); rc != 0)
            return rc;
        same = same && got == n &&
               std::memcmp(stored.data(), expected.data() + compared,
                           static_cast<std::size_t>(n)) == 0;
        compared += got;
        if (got < n)
            return result::invalidOperation;
    }
    return same ? result::none : result::invalidOperation;
}

ResultCode encodesToStored(const mp4::box::Box& box, io::Io& stream) {
    StoredComparison comparison(stream, box.offset, box.recordedSize, 0, 0, nullptr);
    if (ResultCode rc = box.write(&comparison, true); rc != 0)
        return rc;
    return comparison.finish();
}

ResultCode planEncodedChanges(const mp4::box::Box& box, io::Io& stream, std::uint64_t fillBegin,
                              std::uint64_t fillEnd, RepairPlan& plan) {
    RepairPlan made;
    if (fillEnd > fillBegin) {
        made.fillOffset = box.offset + fillBegin;
        made.fillLength = fillEnd - fillBegin;
    }
    StoredComparison comparison(stream, box.offset, box.recordedSize, fillBegin, fillEnd, &made);
    if (ResultCode rc = box.write(&comparison, true); rc != 0)
        return rc;
    if (ResultCode rc = comparison.finish(); rc != 0)
        return rc;
    plan = std::move(made);
    return result::none;
}

std::uint64_t RepairPlan::bytesWritten() const {
    std::uint64_t total = fillLength;
    for (const ByteChange& change : changes)
        total += change.bytes.size();
    return total;
}

std::uint32_t RepairPlan::lastStep() const {
    std::uint32_t last = 0;
    for (const ByteChange& change : changes)
        last = std::max(last, change.step);
    return last;
}

bool RepairPlan::writesIn(std::uint32_t step) const {
    if (step == 0 && fillLength != 0)
        return true;
    return std::any_of(changes.begin(), changes.end(),
                       [step](const ByteChange& change) { return change.step == step; });
}

RepairPlan planChanges(std::uint64_t offset, const std::vector<std::uint8_t>& before,
                       const std::vector<std::uint8_t>& after, std::uint64_t fillBegin,
                       std::uint64_t fillEnd) {
    RepairPlan plan;
    if (fillEnd > fillBegin) {
        plan.fillOffset = offset + fillBegin;
        plan.fillLength = fillEnd - fillBegin;
    }
    const std::size_t n = std::min(before.size(), after.size());
    const auto to = static_cast<std::size_t>(std::min<std::uint64_t>(fillBegin, n));
    const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(fillEnd, n));
    addRuns(plan, offset, offset, before.data(), after.data(), to);
    addRuns(plan, offset + from, offset + from, before.data() + from, after.data() + from,
            n - from);
    return plan;
}

void assignSteps(RepairPlan& plan, const std::vector<StepRange>& ranges) {
    const auto stepOf = [&ranges](std::uint64_t at) {
        for (const StepRange& range : ranges) {
            if (at >= range.offset && at - range.offset < range.length)
                return range.step;
        }
        return std::uint32_t{0};
    };
    std::vector<ByteChange> split;
    for (const ByteChange& change : plan.changes) {
        for (std::size_t i = 0; i < change.bytes.size();) {
            const std::uint32_t step = stepOf(change.offset + i);
            std::size_t end = i + 1;
            while (end < change.bytes.size() && stepOf(change.offset + end) == step)
                ++end;
            const auto first = static_cast<std::ptrdiff_t>(i);
            const auto last = static_cast<std::ptrdiff_t>(end);
            split.push_back({change.offset + i,
                             {change.bytes.begin() + first, change.bytes.begin() + last},
                             {change.original.begin() + first, change.original.begin() + last},
                             step});
            i = end;
        }
    }
    plan.changes = std::move(split);
}

ResultCode writeStep(io::Io& stream, const RepairPlan& plan, std::uint32_t step) {
    for (const ByteChange& change : plan.changes) {
        if (change.step != step)
            continue;
        if (ResultCode rc =
                writeAt(stream, change.offset, change.bytes.data(), change.bytes.size());
            rc != 0)
            return rc;
    }
    if (step != 0 || plan.fillLength == 0)
        return result::none;
    if (ResultCode rc = seekTo(stream, plan.fillOffset); rc != 0)
        return rc;
    return io::writeZeros(&stream, plan.fillLength);
}

namespace {

// What the bytes of a step found in the file come to.
struct Tally {
    bool foreign = false;
    std::uint64_t changed = 0;
    std::uint64_t original = 0;
    bool fillZero = true;

    void count(const ByteChange& change, std::uint64_t at, std::uint8_t byte) {
        const std::size_t i = static_cast<std::size_t>(at - change.offset);
        if (byte == change.bytes[i])
            ++changed;
        else if (byte == change.original[i])
            ++original;
        else
            foreign = true;
    }
};

// Tallies the piece of the file at offset at against the step's bytes.
void tallyPiece(const RepairPlan& plan, std::uint32_t step, std::uint64_t at,
                const std::uint8_t* stored, std::uint64_t n, Tally& tally) {
    const std::uint64_t end = at + n;
    for (const ByteChange& change : plan.changes) {
        if (change.step != step)
            continue;
        const std::uint64_t from = std::max(at, change.offset);
        const std::uint64_t to = std::min<std::uint64_t>(end, change.offset + change.bytes.size());
        for (std::uint64_t i = from; i < to; ++i)
            tally.count(change, i, stored[i - at]);
    }
    if (step != 0)
        return;
    const std::uint64_t from = std::max(at, plan.fillOffset);
    const std::uint64_t to = std::min(end, plan.fillOffset + plan.fillLength);
    for (std::uint64_t i = from; i < to && tally.fillZero; ++i)
        tally.fillZero = stored[i - at] == 0;
}

// The span from the first byte the step writes to its last.
void stepSpan(const RepairPlan& plan, std::uint32_t step, std::uint64_t& first,
              std::uint64_t& end) {
    const bool fill = step == 0 && plan.fillLength != 0;
    first = fill ? plan.fillOffset : UINT64_MAX;
    end = fill ? plan.fillOffset + plan.fillLength : 0;
    for (const ByteChange& change : plan.changes) {
        if (change.step != step)
            continue;
        first = std::min(first, change.offset);
        end = std::max<std::uint64_t>(end, change.offset + change.bytes.size());
    }
}

// Tallies the step's bytes as read, a piece at a time, by read(at, bytes, n).
template <typename Read>
ResultCode tallyStep(const RepairPlan& plan, std::uint32_t step, Read read, Tally& tally) {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    stepSpan(plan, step, first, end);
    std::vector<std::uint8_t> stored;
    for (std::uint64_t at = first; at < end; at += piece) {
        const std::uint64_t n = std::min(piece, end - at);
        stored.resize(static_cast<std::size_t>(n));
        if (ResultCode rc = read(at, stored.data(), n); rc != 0)
            return rc;
        tallyPiece(plan, step, at, stored.data(), n, tally);
    }
    return result::none;
}

} // namespace

ResultCode verifyStep(io::Io& stream, const RepairPlan& plan, std::uint32_t step) {
    Tally tally;
    const auto read = [&stream](std::uint64_t at, std::uint8_t* bytes, std::uint64_t n) {
        return stream.readBack(at, bytes, n);
    };
    if (ResultCode rc = tallyStep(plan, step, read, tally); rc != 0)
        return rc;
    return tally.foreign || tally.original != 0 || !tally.fillZero ? result::invalidOperation
                                                                   : result::none;
}

ResultCode stepState(io::Io& stream, const RepairPlan& plan, std::uint32_t step, StepState& state) {
    Tally tally;
    const auto read = [&stream](std::uint64_t at, std::uint8_t* bytes, std::uint64_t n) {
        return readAt(stream, at, bytes, n);
    };
    if (ResultCode rc = tallyStep(plan, step, read, tally); rc != 0)
        return rc;
    if (tally.foreign)
        state = StepState::foreign;
    else if (tally.original == 0 && tally.fillZero)
        state = StepState::whole;
    else if (tally.changed == 0)
        state = StepState::untouched;
    else
        state = StepState::partly;
    return result::none;
}

} // namespace boxmend

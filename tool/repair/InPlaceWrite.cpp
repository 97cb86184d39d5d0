#include "tool/repair/InPlaceWrite.h"

#include "tool/repair/PositionedIo.h"

#include <algorithm>
#include <cstring>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

// The most bytes compared at once.
constexpr std::uint64_t piece = 256 * 1024;

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

// Takes an encoding through its writes and compares it, a piece at a time,
// with the bytes the stream holds for it; the fill is neither read nor
// compared. With a plan, every run that differs becomes one of its changes.
class StoredComparison final : public io::Io {
public:
    StoredComparison(io::Io& stream, const Encoding& encoding, RepairPlan* plan)
        : stream_(stream), offset_(encoding.offset), length_(encoding.length),
          fillBegin_(encoding.fillBegin), fillEnd_(std::max(encoding.fillBegin, encoding.fillEnd)),
          plan_(plan) {
        encoded_.reserve(static_cast<std::size_t>(std::min(length_, piece)));
    }

    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override {
        bytesWritten = count;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        // Bytes past the expected length are only counted: the length decides.
        std::uint64_t usable = made_ < length_ ? std::min(count, length_ - made_) : 0;
        made_ += count;
        while (usable > 0 && !ended()) {
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

    // Once the encoding is made: a failed read's code, or with fits whether
    // it was as long as its span and the stream held all of the span.
    [[nodiscard]] ResultCode finish(bool& fits) {
        misfit_ = misfit_ || made_ != length_;
        if (!ended())
            compareHeld();
        fits = !misfit_;
        return failure_;
    }
    bool differs() const { return differs_; }

private:
    bool ended() const { return misfit_ || failure_ != 0; }

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
                misfit_ = true;
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

    // Compares [from, to) of the span, which lies in the region that starts
    // at regionStart, with the stream.
    void compareSpan(std::uint64_t from, std::uint64_t to, std::uint64_t regionStart) {
        if (from >= to || ended())
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
            misfit_ = true;
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
    bool misfit_ = false;
    bool differs_ = false;
    ResultCode failure_ = result::none;
};

} // namespace

Encoding boxEncoding(const mp4::box::Box& box) {
    return {box.offset, box.recordedSize, [&box](io::Io& out) { return box.write(&out, true); }};
}

ResultCode encodesToStored(io::Io& stream, const Encoding& encoding, bool& same) {
    StoredComparison comparison(stream, encoding, nullptr);
    if (ResultCode rc = encoding.encode(comparison); rc != 0)
        return rc;
    bool fits = false;
    if (ResultCode rc = comparison.finish(fits); rc != 0)
        return rc;
    same = fits && !comparison.differs();
    return result::none;
}

ResultCode planEncodedChanges(io::Io& stream, const Encoding& encoding, RepairPlan& plan,
                              bool& fits) {
    RepairPlan made;
    if (encoding.fillEnd > encoding.fillBegin) {
        made.fillOffset = encoding.offset + encoding.fillBegin;
        made.fillLength = encoding.fillEnd - encoding.fillBegin;
    }
    StoredComparison comparison(stream, encoding, &made);
    if (ResultCode rc = encoding.encode(comparison); rc != 0)
        return rc;
    if (ResultCode rc = comparison.finish(fits); rc != 0 || !fits)
        return rc;
    plan.changes = std::move(made.changes);
    plan.fillOffset = made.fillOffset;
    plan.fillLength = made.fillLength;
    return result::none;
}

} // namespace boxmend::repair

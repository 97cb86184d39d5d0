#include "tool/repair/HeaderRestore.h"

#include "tool/repair/PositionedIo.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

constexpr std::uint64_t blockSize = ReadFingerprint::blockSize;
// The most bytes read back from the device at once.
constexpr std::uint64_t readPiece = 256 * 1024;
// Equal bytes between two that differ are written with them when there are
// no more than this many: fewer, larger writes give a device that misplaces
// writes fewer chances to.
constexpr std::uint64_t joinGap = 32;

// The written ranges in order of offset, so that those reaching a block are
// found without going through them all.
class Ranges {
public:
    explicit Ranges(std::vector<WrittenRange> ranges) : ranges_(std::move(ranges)) {
        std::sort(ranges_.begin(), ranges_.end(),
                  [](const WrittenRange& a, const WrittenRange& b) { return a.offset < b.offset; });
        std::uint64_t furthest = 0;
        for (const WrittenRange& range : ranges_) {
            furthest = std::max(furthest, range.offset + range.length);
            furthest_.push_back(furthest);
        }
    }

    // Lays the original bytes of the ranges over bytes, which hold [begin, end).
    void layOriginals(std::uint64_t begin, std::uint64_t end, std::uint8_t* bytes) const {
        forEachReaching(begin, end, [&](const WrittenRange& range) {
            if (range.original == nullptr)
                return;
            const std::uint64_t from = std::max(begin, range.offset);
            const std::uint64_t to = std::min(end, range.offset + range.length);
            std::memcpy(bytes + (from - begin), range.original + (from - range.offset),
                        static_cast<std::size_t>(to - from));
        });
    }

    // Whether every byte where stored and parsed, which hold [begin, end),
    // differ lies in a written range.
    bool explain(std::uint64_t begin, std::uint64_t end, const std::uint8_t* stored,
                 const std::uint8_t* parsed) const {
        std::uint64_t checked = begin;
        bool same = true;
        const auto sameUpTo = [&](std::uint64_t to) {
            if (to > checked)
                same = same && std::memcmp(stored + (checked - begin), parsed + (checked - begin),
                                           static_cast<std::size_t>(to - checked)) == 0;
        };
        forEachReaching(begin, end, [&](const WrittenRange& range) {
            sameUpTo(range.offset);
            checked = std::max(checked, std::min(end, range.offset + range.length));
        });
        sameUpTo(end);
        return same;
    }

private:
    template <typename Visit>
    void forEachReaching(std::uint64_t begin, std::uint64_t end, Visit visit) const {
        auto i = static_cast<std::size_t>(
            std::partition_point(furthest_.begin(), furthest_.end(),
                                 [begin](std::uint64_t furthest) { return furthest <= begin; }) -
            furthest_.begin());
        for (; i < ranges_.size() && ranges_[i].offset < end; ++i) {
            if (ranges_[i].offset + ranges_[i].length > begin)
                visit(ranges_[i]);
        }
    }

    std::vector<WrittenRange> ranges_;
    // The furthest end of each range and of every range before it.
    std::vector<std::uint64_t> furthest_;
};

// The device's bytes as read back (Io::readBack), a piece at a time, for
// blocks asked for in order of offset.
class DeviceBytes {
public:
    DeviceBytes(io::Io& stream, std::uint64_t fileLength)
        : stream_(stream), fileLength_(fileLength) {}

    // [begin, end), which lie within one block and the file.
    ResultCode get(std::uint64_t begin, std::uint64_t end, const std::uint8_t*& bytes) {
        if (begin < heldBegin_ || end > heldBegin_ + held_.size()) {
            heldBegin_ = begin - begin % blockSize;
            held_.clear();
            held_.resize(static_cast<std::size_t>(std::min(readPiece, fileLength_ - heldBegin_)));
            if (ResultCode rc = stream_.readBack(heldBegin_, held_.data(), held_.size()); rc != 0)
                return rc;
            if (end > heldBegin_ + held_.size())
                return result::readError;
        }
        bytes = held_.data() + (begin - heldBegin_);
        return result::none;
    }

private:
    io::Io& stream_;
    const std::uint64_t fileLength_;
    std::vector<std::uint8_t> held_;
    std::uint64_t heldBegin_ = 0;
};

// One block's part of the header, [begin, end), as parsed and as the device
// holds it, and, when the fingerprint covers that part, the run it holds.
struct Block {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    const std::uint8_t* parsed = nullptr;
    const std::uint8_t* stored = nullptr;
    bool known = false;
    ReadFingerprint::Run run;
    // The device's bytes of the run.
    const std::uint8_t* runStored = nullptr;

    std::uint64_t length() const { return end - begin; }
    bool storedAsParsed() const {
        return known ? blockChecksum(runStored, static_cast<std::size_t>(run.end - run.begin)) ==
                           run.checksum
                     : std::memcmp(stored, parsed, static_cast<std::size_t>(length())) == 0;
    }
};

// Takes the header's encoding through its writes and, a block at a time,
// lays the written ranges' originals over it, reads the block back from the
// device and hands both to check, until check refuses one.
class BlockScan final : public io::Io {
public:
    using Check = std::function<bool(const Block&)>;

    BlockScan(io::Io& device, std::uint64_t fileLength, const mp4::box::Box& header,
              const Ranges& ranges, const ReadFingerprint& fingerprint, RestoreOutcome& outcome)
        : device_(device, fileLength), end_(header.offset + header.recordedSize),
          at_(header.offset), ranges_(ranges), fingerprint_(fingerprint), outcome_(outcome) {}

    // Whether every block was handed to check and taken.
    bool run(const mp4::box::Box& header, const Check& check) {
        check_ = &check;
        if (ResultCode rc = header.write(this, true); rc != 0 && !stopped_) {
            outcome_.reason = "the movie header could not be encoded as parsed";
            return false;
        }
        if (!stopped_ && at_ != end_)
            outcome_.reason = "the movie header as parsed does not encode to its recorded size";
        return !stopped_ && at_ == end_;
    }

    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override {
        bytesWritten = count;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        while (count != 0 && !stopped_) {
            const std::uint64_t partEnd = std::min(end_, (at_ / blockSize + 1) * blockSize);
            const std::uint64_t wanted = partEnd - at_ - pending_.size();
            if (wanted == 0) {
                // The encoding is longer than the header's recorded size.
                stopped_ = true;
                outcome_.reason = "the movie header as parsed does not encode to its recorded size";
                break;
            }
            const std::uint64_t n = std::min(count, wanted);
            pending_.insert(pending_.end(), bytes, bytes + n);
            bytes += n;
            count -= n;
            if (n == wanted)
                hand(partEnd);
        }
        // Ends the encoding early once a block is refused.
        return stopped_ ? result::invalidOperation : result::none;
    }
    [[nodiscard]] ResultCode read(void*, std::uint64_t, std::uint64_t&) override {
        return result::invalidOperation;
    }
    [[nodiscard]] ResultCode seek(std::int64_t, io::SeekOrigin) override {
        return result::invalidOperation;
    }
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override {
        position = at_ + pending_.size();
        return result::none;
    }
    [[nodiscard]] ResultCode eof(bool& atEnd) override {
        atEnd = false;
        return result::none;
    }

private:
    // Hands the pending part of a block, which ends at partEnd, to check.
    void hand(std::uint64_t partEnd) {
        Block block;
        block.begin = at_;
        block.end = partEnd;
        ranges_.layOriginals(at_, partEnd, pending_.data());
        block.parsed = pending_.data();
        block.known = fingerprint_.run(at_ / blockSize, block.run) && block.run.begin <= at_ &&
                      block.run.end >= partEnd;
        const std::uint64_t from = block.known ? block.run.begin : at_;
        const std::uint64_t to = block.known ? block.run.end : partEnd;
        const std::uint8_t* stored = nullptr;
        if (ResultCode rc = device_.get(from, to, stored); rc != 0) {
            outcome_.failure = rc;
            outcome_.reason = "the movie header could not be read back from the device";
            stopped_ = true;
            return;
        }
        block.runStored = stored;
        block.stored = stored + (at_ - from);
        stopped_ = !(*check_)(block);
        at_ = partEnd;
        pending_.clear();
    }

    DeviceBytes device_;
    const std::uint64_t end_;
    // Where the pending bytes begin; the header before them has been handed on.
    std::uint64_t at_;
    std::vector<std::uint8_t> pending_;
    const Ranges& ranges_;
    const ReadFingerprint& fingerprint_;
    RestoreOutcome& outcome_;
    const Check* check_ = nullptr;
    bool stopped_ = false;
};

// A run of bytes to write back.
struct Fix {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

// Adds the bytes of the block as parsed where the device holds others.
void addFixes(const Block& block, std::vector<Fix>& fixes) {
    for (std::uint64_t i = 0; i < block.length(); ++i) {
        if (block.stored[i] == block.parsed[i])
            continue;
        const std::uint64_t at = block.begin + i;
        Fix* last = fixes.empty() ? nullptr : &fixes.back();
        const std::uint64_t lastEnd = last != nullptr ? last->offset + last->bytes.size() : 0;
        // The equal bytes between join the run when they lie in this block.
        if (last != nullptr && lastEnd >= block.begin && lastEnd <= at && at - lastEnd <= joinGap) {
            last->bytes.insert(last->bytes.end(), block.parsed + (lastEnd - block.begin),
                               block.parsed + i + 1);
        } else {
            fixes.push_back({at, {block.parsed[i]}});
        }
    }
}

std::string atOffset(std::uint64_t offset) {
    return " at offset " + std::to_string(offset);
}

// Writes the fixes over the device's bytes and flushes them; false, with
// the outcome saying why, when a write or the flush fails.
bool writeBack(io::Io& stream, const std::vector<Fix>& fixes, RestoreOutcome& outcome) {
    for (const Fix& fix : fixes) {
        if (ResultCode rc = writeAt(stream, fix.offset, fix.bytes.data(), fix.bytes.size());
            rc != 0) {
            outcome.failure = rc;
            outcome.reason = "the movie header could not be written back";
            return false;
        }
        outcome.bytesWritten += fix.bytes.size();
    }
    if (ResultCode rc = stream.flush(); rc != 0) {
        outcome.failure = rc;
        outcome.reason = "the movie header written back could not be flushed to the device";
        return false;
    }
    return true;
}

} // namespace

RestoreOutcome restoreHeader(io::Io& stream, const mp4::File& tree,
                             const ReadFingerprint& fingerprint,
                             const std::vector<WrittenRange>& written) {
    RestoreOutcome outcome;
    const mp4::box::BoxPtr header = tree.find("moov");
    if (!header) {
        outcome.reason = "there is no movie header to put back";
        return outcome;
    }
    std::uint64_t fileLength = 0;
    if (ResultCode rc = stream.size(fileLength); rc != 0) {
        outcome.failure = rc;
        outcome.reason = "the length of the file could not be read";
        return outcome;
    }
    const std::uint64_t begin = header->offset;
    const std::uint64_t length = header->recordedSize;
    if (length == 0 || begin > fileLength || length > fileLength - begin) {
        outcome.reason = "the movie header does not lie whole within the file";
        return outcome;
    }
    for (const WrittenRange& range : written) {
        if (range.length != 0 && (range.offset < begin || range.offset - begin > length ||
                                  range.length > length - (range.offset - begin))) {
            outcome.reason = "the repair wrote outside the movie header" + atOffset(range.offset);
            return outcome;
        }
    }
    const Ranges ranges(written);

    // Every block that differs must be rebuilt exactly before anything is written.
    std::vector<Fix> fixes;
    std::vector<std::uint8_t> candidate;
    const BlockScan::Check rebuild = [&](const Block& block) {
        if (block.storedAsParsed())
            return true;
        if (block.known) {
            const auto runLength = static_cast<std::size_t>(block.run.end - block.run.begin);
            candidate.assign(block.runStored, block.runStored + runLength);
            std::memcpy(candidate.data() + (block.begin - block.run.begin), block.parsed,
                        static_cast<std::size_t>(block.length()));
            if (blockChecksum(candidate.data(), runLength) != block.run.checksum) {
                outcome.reason = "the device holds bytes that cannot be rebuilt as they were "
                                 "parsed, in the block" +
                                 atOffset(block.run.begin);
                return false;
            }
        } else if (!ranges.explain(block.begin, block.end, block.stored, block.parsed)) {
            outcome.reason = "the device holds other bytes where the repair wrote nothing, in "
                             "a block the parse did not read whole," +
                             atOffset(block.begin);
            return false;
        }
        addFixes(block, fixes);
        return true;
    };
    if (!BlockScan(stream, fileLength, *header, ranges, fingerprint, outcome).run(*header, rebuild))
        return outcome;
    if (fixes.empty()) {
        outcome.state = RestoreState::restored;
        return outcome;
    }

    if (!writeBack(stream, fixes, outcome))
        return outcome;

    const BlockScan::Check verify = [&](const Block& block) {
        if (block.storedAsParsed())
            return true;
        outcome.reason = "the movie header did not read back as parsed once written back" +
                         atOffset(block.begin);
        return false;
    };
    if (BlockScan(stream, fileLength, *header, ranges, fingerprint, outcome).run(*header, verify))
        outcome.state = RestoreState::restored;
    return outcome;
}

} // namespace boxmend::repair

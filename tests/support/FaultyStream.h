#pragma once

// A file held in memory that behaves like an open disk file of fixed length,
// with its repair journal beside it, and that fails on request. Like a disk
// file it can be positioned anywhere from 0 on, reads stop at its end and its
// length is the one it was made with; unlike one it never grows: a write that
// would reach past its end writes nothing and fails with 11. On request one
// call of a given kind, of the file or of its journal, fails (and does
// nothing), or every read delivers only a few bytes, or writes are stored
// somewhere other than where they were sent and reported done, as some card
// readers and counterfeit cards do.

#include "mediafmt/io/Io.h"
#include "tool/repair/JournalStore.h"
#include "tool/repair/Transaction.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace testsupport {

class FaultyStream final : public mediafmt::io::Io, public boxmend::repair::JournalStore {
public:
    enum class Call { read, write, seek, tell, eof, size, flush, load, save, remove };

    // onDemand: whether the stream tells readers they may read it on demand,
    // as an operating-system file does.
    explicit FaultyStream(std::vector<std::uint8_t> bytes, bool onDemand = false)
        : bytes_(std::move(bytes)), onDemand_(onDemand) {}

    // The nth call of kind, counting from 1, fails with code.
    void failAt(Call kind, std::uint64_t nth, mediafmt::ResultCode code) {
        failKind_ = kind;
        failCall_ = nth;
        failCode_ = code;
    }
    // Every read delivers at most this many bytes.
    void limitReads(std::uint64_t most) { readLimit_ = most; }
    // The nth write call from now, and without onward only that one, lands
    // shift bytes away from where it was sent, or nowhere when that is
    // outside the file; a shift of 0 stores writes in place again.
    void misplaceWrites(std::int64_t shift, std::uint64_t nth = 1, bool onward = true) {
        shift_ = shift;
        misplaceFrom_ = calls(Call::write) + nth;
        misplaceTo_ = onward ? std::numeric_limits<std::uint64_t>::max() : misplaceFrom_;
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::uint64_t calls(Call kind) const { return calls_[static_cast<std::size_t>(kind)]; }
    bool failed() const { return failed_; }
    // Write calls made after the failure, and writes refused for reaching past the end.
    std::uint64_t writesAfterFailure() const { return writesAfterFailure_; }
    std::uint64_t refusedWrites() const { return refusedWrites_; }

    mediafmt::ResultCode read(void* buffer, std::uint64_t count, std::uint64_t& got) override {
        if (mediafmt::ResultCode rc = enter(Call::read); rc != 0)
            return rc;
        const std::uint64_t length = bytes_.size();
        got = position_ < length ? std::min({count, length - position_, readLimit_}) : 0;
        if (got != 0)
            std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(got));
        position_ += got;
        return mediafmt::result::none;
    }
    mediafmt::ResultCode write(const void* buffer, std::uint64_t count,
                               std::uint64_t& put) override {
        writesAfterFailure_ += failed_ ? 1 : 0;
        if (mediafmt::ResultCode rc = enter(Call::write); rc != 0)
            return rc;
        const std::uint64_t nth = calls(Call::write);
        const bool misplaced = shift_ != 0 && nth >= misplaceFrom_ && nth <= misplaceTo_;
        const std::uint64_t at = position_ + (misplaced ? static_cast<std::uint64_t>(shift_) : 0);
        const bool inside = at <= bytes_.size() && count <= bytes_.size() - at;
        if (!inside && !misplaced) {
            ++refusedWrites_;
            return mediafmt::result::writeError;
        }
        if (inside && count != 0)
            std::memcpy(bytes_.data() + at, buffer, static_cast<std::size_t>(count));
        position_ += count;
        put = count;
        return mediafmt::result::none;
    }
    mediafmt::ResultCode seek(std::int64_t offset, mediafmt::io::SeekOrigin origin) override {
        if (mediafmt::ResultCode rc = enter(Call::seek); rc != 0)
            return rc;
        using mediafmt::io::SeekOrigin;
        const std::uint64_t from = origin == SeekOrigin::begin     ? 0
                                   : origin == SeekOrigin::current ? position_
                                                                   : bytes_.size();
        // Not before the start, nor beyond what a 64-bit signed position holds.
        const auto most = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        if (offset < 0 ? 0 - static_cast<std::uint64_t>(offset) > from
                       : static_cast<std::uint64_t>(offset) > most - std::min(from, most))
            return mediafmt::result::error;
        position_ = from + static_cast<std::uint64_t>(offset);
        return mediafmt::result::none;
    }
    mediafmt::ResultCode tell(std::uint64_t& position) override {
        return enter(Call::tell, [&] { position = position_; });
    }
    mediafmt::ResultCode eof(bool& atEnd) override {
        return enter(Call::eof, [&] { atEnd = position_ >= bytes_.size(); });
    }
    mediafmt::ResultCode size(std::uint64_t& length) override {
        return enter(Call::size, [&] { length = bytes_.size(); });
    }
    mediafmt::ResultCode flush() override {
        return enter(Call::flush, [] {});
    }
    bool canReadOnDemand() const override { return onDemand_; }

    mediafmt::ResultCode load(std::vector<std::uint8_t>& bytes) override {
        return enter(
            Call::load, [&] { bytes = journal_; }, journal_.empty());
    }
    mediafmt::ResultCode save(const std::vector<std::uint8_t>& bytes,
                              boxmend::repair::SaveTrouble& /*trouble*/) override {
        return enter(Call::save, [&] { journal_ = bytes; });
    }
    mediafmt::ResultCode remove() override {
        return enter(Call::remove, [&] { journal_.clear(); });
    }
    std::string name() const override { return "journal"; }
    const std::vector<std::uint8_t>& journal() const { return journal_; }
    // What a run takes to keep its journal here.
    boxmend::repair::Journaling journaling() { return {*this, {}}; }

private:
    // Counts the call, and either fails it or lets it take effect; a call
    // that finds nothing to do reports 1.
    template <typename Effect = void (*)()>
    mediafmt::ResultCode enter(
        Call kind, Effect effect = [] {}, bool nothing = false) {
        if (++calls_[static_cast<std::size_t>(kind)] == failCall_ && kind == failKind_) {
            failed_ = true;
            return failCode_;
        }
        effect();
        return nothing ? mediafmt::result::noOp : mediafmt::result::none;
    }

    std::vector<std::uint8_t> bytes_;
    bool onDemand_;
    std::uint64_t position_ = 0;
    std::vector<std::uint8_t> journal_;
    std::array<std::uint64_t, 10> calls_{};
    Call failKind_ = Call::read;
    std::uint64_t failCall_ = 0;
    mediafmt::ResultCode failCode_ = mediafmt::result::none;
    std::uint64_t readLimit_ = std::numeric_limits<std::uint64_t>::max();
    bool failed_ = false;
    std::int64_t shift_ = 0;
    std::uint64_t misplaceFrom_ = 0;
    std::uint64_t misplaceTo_ = 0;
    std::uint64_t writesAfterFailure_ = 0;
    std::uint64_t refusedWrites_ = 0;
};

} // namespace testsupport

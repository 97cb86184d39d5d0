#include "tool/repair/Journal.h"

#include "mediafmt/io/BigEndian.h"

#include <zlib.h>

#include <cstring>
#include <iterator>

namespace boxmend::repair {

namespace {

constexpr char tag[] = {'B', 'O', 'X', 'M', 'E', 'N', 'D', 'J'};

std::uint32_t checksum(const std::uint8_t* bytes, std::size_t n) {
    return static_cast<std::uint32_t>(crc32_z(crc32(0L, Z_NULL, 0), bytes, n));
}

class Writer {
public:
    void put(std::uint64_t value, std::uint32_t width) {
        const std::size_t at = bytes.size();
        bytes.resize(at + width);
        mediafmt::io::storeBigEndian(bytes.data() + at, value, width);
    }
    void put(const std::vector<std::uint8_t>& run) {
        bytes.insert(bytes.end(), run.begin(), run.end());
    }

    std::vector<std::uint8_t> bytes;
};

// Reads the journal's fields in order; every read fails once one has run
// past the end, so a decoder checks once at the end.
class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

    std::uint64_t get(std::uint32_t width) {
        if (!take(width))
            return 0;
        return mediafmt::io::loadBigEndian(bytes_ + at_ - width, width);
    }
    std::vector<std::uint8_t> run(std::uint64_t n) {
        if (!take(n))
            return {};
        return {bytes_ + at_ - n, bytes_ + at_};
    }
    bool ok() const { return ok_; }
    bool atEnd() const { return at_ == size_; }

private:
    bool take(std::uint64_t n) {
        ok_ = ok_ && n <= size_ - at_;
        if (ok_)
            at_ += static_cast<std::size_t>(n);
        return ok_;
    }

    const std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

} // namespace

std::uint32_t Journal::kinds() const {
    std::uint32_t set = 0;
    for (const RepairPlan& repair : repairs)
        set |= repair.kind;
    return set;
}

std::vector<std::uint8_t> encodeJournal(const Journal& journal) {
    Writer out;
    out.put({std::begin(tag), std::end(tag)});
    out.put(journal.version, 4);
    out.put(journal.fileLength, 8);
    out.put(journal.identity.device, 8);
    out.put(journal.identity.index, 8);
    out.put(journal.repairs.size(), 4);
    for (const RepairPlan& repair : journal.repairs) {
        out.put(repair.kind, 4);
        out.put(repair.box.size(), 4);
        out.put({repair.box.begin(), repair.box.end()});
        out.put(repair.changes.size(), 4);
        for (const ByteChange& change : repair.changes) {
            out.put(change.offset, 8);
            out.put(change.bytes.size(), 4);
            out.put(change.bytes);
            out.put(change.original);
        }
        out.put(repair.fillOffset, 8);
        out.put(repair.fillLength, 8);
    }
    out.put(checksum(out.bytes.data(), out.bytes.size()), 4);
    return out.bytes;
}

Decoded decodeJournal(const std::vector<std::uint8_t>& bytes, Journal& journal) {
    if (bytes.size() < sizeof tag + 4 || std::memcmp(bytes.data(), tag, sizeof tag) != 0 ||
        checksum(bytes.data(), bytes.size() - 4) !=
            mediafmt::io::loadBigEndian(bytes.data() + bytes.size() - 4, 4))
        return Decoded::damaged;
    Reader in(bytes.data() + sizeof tag, bytes.size() - sizeof tag - 4);
    Journal read;
    read.version = static_cast<std::uint32_t>(in.get(4));
    if (!in.ok())
        return Decoded::damaged;
    if (read.version < firstJournalVersion || read.version > journalVersion)
        return Decoded::otherVersion;
    read.fileLength = in.get(8);
    read.identity.device = in.get(8);
    read.identity.index = in.get(8);
    for (std::uint64_t n = in.get(4); n > 0 && in.ok(); --n) {
        RepairPlan& repair = read.repairs.emplace_back();
        const std::uint64_t kind = in.get(4);
        if (kind != audioRepair && kind != videoRepair)
            return Decoded::damaged;
        repair.kind = static_cast<RepairKind>(kind);
        const std::vector<std::uint8_t> box = in.run(in.get(4));
        repair.box.assign(box.begin(), box.end());
        for (std::uint64_t changes = in.get(4); changes > 0 && in.ok(); --changes) {
            ByteChange& change = repair.changes.emplace_back();
            change.offset = in.get(8);
            const std::uint64_t length = in.get(4);
            change.bytes = in.run(length);
            change.original = in.run(length);
        }
        repair.fillOffset = in.get(8);
        repair.fillLength = in.get(8);
    }
    if (!in.ok() || !in.atEnd())
        return Decoded::damaged;
    journal = std::move(read);
    return Decoded::whole;
}

} // namespace boxmend::repair

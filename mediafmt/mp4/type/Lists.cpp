#include "mediafmt/mp4/type/Lists.h"

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/TextOutput.h"

#include <algorithm>
#include <vector>

namespace mediafmt::mp4::type {

namespace {

// The most bytes a read takes in before decoding them: enough to be read
// straight from a file, little enough to stay in the processor's cache.
constexpr std::uint64_t maxDecodedRun = 256 * 1024;

// Reads n big-endian elements a run at a time into a small buffer, decodes
// them there and appends them to the vector: the elements' memory is
// written once, neither zeroed first nor passed over again to convert it.
// Fewer bytes than asked for gives 10, with the whole elements delivered
// kept; a failed read leaves n zero elements.
template <typename T>
ResultCode readElements(io::Io* stream, std::uint64_t n, std::vector<T>& elements) {
    constexpr auto width = static_cast<std::uint32_t>(sizeof(T));
    elements.clear();
    if (n == 0)
        return result::none;
    elements.reserve(static_cast<std::size_t>(n));
    const std::uint64_t perRun = std::min(n, maxDecodedRun / width);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(perRun * width));
    std::vector<T> run(static_cast<std::size_t>(perRun));
    for (std::uint64_t done = 0; done < n;) {
        const std::uint64_t want = std::min(perRun, n - done);
        std::uint64_t got = 0;
        if (ResultCode rc = stream->read(raw.data(), want * width, got); rc != 0) {
            elements.assign(static_cast<std::size_t>(n), T{});
            return rc;
        }
        const auto whole = static_cast<std::size_t>(got / width);
        for (std::size_t i = 0; i < whole; ++i)
            run[i] = io::loadBigEndianWhole<T>(raw.data() + i * width);
        elements.insert(elements.end(), run.begin(),
                        run.begin() + static_cast<std::ptrdiff_t>(whole));
        if (got != want * width)
            return result::readError;
        done += want;
    }
    return result::none;
}

// The most bytes a write encodes before handing them to the stream.
constexpr std::size_t maxEncodedRun = 64 * 1024;

// Encoded a run of elements at a time, so a large list needs no copy of its size.
template <std::uint32_t Width, typename T>
ResultCode writeElements(io::Io* stream, const std::vector<T>& elements) {
    if (stream == nullptr)
        return result::nullObject;
    if (elements.empty())
        return result::none;
    const std::size_t perRun = maxEncodedRun / Width;
    std::vector<std::uint8_t> raw(std::min(elements.size(), perRun) * Width);
    for (std::size_t start = 0; start < elements.size(); start += perRun) {
        const std::size_t n = std::min(perRun, elements.size() - start);
        for (std::size_t i = 0; i < n; ++i)
            io::storeBigEndian(raw.data() + i * Width,
                               static_cast<std::uint64_t>(elements[start + i]), Width);
        std::uint64_t put = 0;
        if (ResultCode rc = stream->write(raw.data(), n * Width, put); rc != 0)
            return rc;
        if (put != n * Width)
            return result::writeError;
    }
    return result::none;
}

// "(n) [" then the elements, ten to a line; each continued line starts with
// indent spaces. breakFirst puts a line break before the first element of a
// list longer than ten.
template <typename Each>
ResultCode printList(io::Io* stream, std::size_t n, std::uint32_t indent, bool breakFirst,
                     Each printElement) {
    if (stream == nullptr)
        return result::nullObject;
    (void)io::writeText(stream, "(%d) [", static_cast<int>(n));
    if (breakFirst && n > 10) {
        (void)io::writeText(stream, "\n");
        (void)io::writeIndent(stream, indent);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (ResultCode rc = printElement(i); rc != 0)
            return rc;
        if (i + 1 < n)
            (void)io::writeText(stream, ", ");
        if ((i + 1) % 10 == 0) {
            (void)io::writeText(stream, "\n");
            (void)io::writeIndent(stream, indent);
        }
    }
    (void)io::writeText(stream, "]");
    return result::none;
}

} // namespace

ResultCode Uint32Array::write(io::Io* stream) const {
    return writeElements<4>(stream, elements);
}

ResultCode Uint32Array::read(io::Io* stream, std::uint64_t end) {
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    if (offset > end) {
        elements.clear();
        return result::none;
    }
    // Trailing bytes that do not make a whole element are not read.
    return readElements(stream, (end - offset) / 4, elements);
}

ResultCode Uint32Array::print(io::Io* stream, std::uint32_t indent) const {
    return printList(stream, elements.size(), indent, true, [&](std::size_t i) {
        return io::writeText(stream, "%8u", static_cast<unsigned>(elements[i]));
    });
}

ResultCode Uint64Array::write(io::Io* stream) const {
    return writeElements<8>(stream, elements);
}

ResultCode Uint64Array::read(io::Io* stream, std::uint64_t end) {
    elements.clear();
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    if (offset >= end)
        return result::none;
    // Every element that starts before the end is read whole.
    return readElements(stream, (end - offset + 7) / 8, elements);
}

ResultCode Uint64Array::print(io::Io* stream, std::uint32_t indent) const {
    return printList(stream, elements.size(), indent, true, [&](std::size_t i) {
        return io::writeText(stream, "%8llu", static_cast<unsigned long long>(elements[i]));
    });
}

ResultCode FourccArray::write(io::Io* stream) const {
    if (stream == nullptr)
        return result::nullObject;
    for (const Fourcc& code : elements) {
        if (ResultCode rc = code.write(stream); rc != 0)
            return rc;
    }
    return result::none;
}

ResultCode FourccArray::read(io::Io* stream, std::uint64_t end) {
    elements.clear();
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    if (offset >= end)
        return result::none;
    std::vector<std::uint32_t> values;
    ResultCode rc = readElements(stream, (end - offset + 3) / 4, values);
    elements.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        Fourcc& code = elements.emplace_back(values[i]);
        code.offset = offset + 4 * i;
    }
    return rc;
}

ResultCode FourccArray::print(io::Io* stream, std::uint32_t indent) const {
    return printList(stream, elements.size(), indent, false, [&](std::size_t i) {
        return io::writeText(stream, "%s", elements[i].text().c_str());
    });
}

} // namespace mediafmt::mp4::type

#include "tool/boxmend-all/MovieWalk.h"

#include "tool/boxmend-all/MovieWalker.h"

#include <algorithm>
#include <utility>

namespace boxmend::batch {

bool hasMovieExtension(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return extension == ".mov" || extension == ".mp4" || extension == ".m4v";
}

bool startsLikeMovie(const std::uint8_t* bytes, std::size_t count) {
    if (count < 8)
        return false;
    // 0 runs to the end of the file, 1 has a 64-bit size; anything else
    // smaller than a header is no box.
    const std::uint32_t size = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                               (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    if (size > 1 && size < 8)
        return false;
    const std::string code(reinterpret_cast<const char*>(bytes) + 4, 4);
    static const char* const movieCodes[] = {"ftyp", "moov", "mdat", "free", "skip",
                                             "wide", "uuid", "pnot", "junk"};
    if (std::none_of(std::begin(movieCodes), std::end(movieCodes),
                     [&](const char* known) { return code == known; }))
        return false;
    if (code != "ftyp" || count < 12)
        return true;
    // Still images and image sequences are built of the same boxes.
    const std::string brand(reinterpret_cast<const char*>(bytes) + 8, 4);
    static const char* const imageBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                              "mif1", "msf1", "avif", "avis", "avci"};
    return std::none_of(std::begin(imageBrands), std::end(imageBrands),
                        [&](const char* image) { return brand == image; });
}

namespace walk {

NativePath joined(const NativePath& folder, const NativePath& name) {
    if (folder.empty())
        return name;
    const auto last = folder.back();
    return last == '/' || last == separator ? folder + name : folder + separator + name;
}

std::string shownJoined(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    const char last = folder.back();
    return last == '/' || last == static_cast<char>(separator)
               ? folder + name
               : folder + static_cast<char>(separator) + name;
}

std::string lastName(const std::string& shown) {
    const std::size_t cut = shown.find_last_of("/\\");
    return cut == std::string::npos ? shown : shown.substr(cut + 1);
}

std::string shownRoot(const NativePath& path) {
    const std::string shown = shownName(path);
    return shown == "." ? std::string() : shown;
}

} // namespace walk

MovieWalk findMovies(const std::vector<NativePath>& paths) {
    walk::Walker walker;
    for (const NativePath& path : paths)
        walker.given(path);
    return std::move(walker.found);
}

} // namespace boxmend::batch

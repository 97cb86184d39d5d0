// Box paths: four-character codes separated by "/", each optionally followed
// by a 0-based index in brackets among the siblings of that code, and ".."
// for the parent. Paths are relative to the box they are looked up from.

#include "mediafmt/mp4/box/Box.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <vector>

namespace mediafmt::mp4::box {

namespace {

// The index in a bracketed segment: the text after the first "[" read like
// atoi (leading space, a sign, digits up to the first other character; no
// digits give 0). False for a negative number or one no box can have.
bool parseIndex(const std::string& text, std::uint32_t& index) {
    errno = 0;
    long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (number < 0 || errno == ERANGE ||
        number > static_cast<long long>(std::numeric_limits<std::uint32_t>::max()))
        return false;
    index = static_cast<std::uint32_t>(number);
    return true;
}

} // namespace

BoxPtr Box::find(std::string path, std::uint32_t index) const {
    const std::size_t slash = path.find('/');
    const bool hasRest = slash != std::string::npos;
    const std::string segment = hasRest ? path.substr(0, slash) : path;
    std::string rest = hasRest ? path.substr(slash + 1) : std::string();

    if (segment == "..") {
        // The root is owned by its user, not by a shared pointer, so ".."
        // never reaches it.
        if (parent == nullptr || parent->parent == nullptr)
            return nullptr;
        for (const BoxPtr& sibling : parent->parent->children) {
            if (sibling.get() == parent)
                return hasRest ? sibling->find(std::move(rest), 0) : sibling;
        }
        return nullptr;
    }

    std::string name = segment;
    if (const std::size_t open = segment.find('['); open != std::string::npos) {
        if (segment.find(']') == std::string::npos)
            return nullptr;
        if (!parseIndex(segment.substr(open + 1), index))
            return nullptr;
        name = segment.substr(0, open);
    }
    for (const BoxPtr& child : children) {
        if (child->type.text() != name)
            continue;
        if (index == 0)
            return hasRest ? child->find(std::move(rest), 0) : child;
        --index;
    }
    return nullptr;
}

std::string boxPath(const Box* box) {
    std::vector<std::string> segments;
    for (const Box* at = box; at != nullptr; at = at->parent) {
        std::string segment = at->type.text();
        if (at->parent != nullptr) {
            std::uint32_t earlier = 0;
            for (const BoxPtr& sibling : at->parent->children) {
                if (sibling.get() == at)
                    break;
                if (sibling->type.text() == segment)
                    ++earlier;
            }
            if (earlier > 0)
                segment += "[" + std::to_string(earlier) + "]";
        }
        segments.push_back(std::move(segment));
    }
    std::string path;
    for (auto it = segments.rbegin(); it != segments.rend(); ++it) {
        if (it->empty())
            continue;
        if (!path.empty())
            path += '/';
        path += *it;
    }
    return path;
}

} // namespace mediafmt::mp4::box

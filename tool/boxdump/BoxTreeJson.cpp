#include "tool/boxdump/BoxTreeJson.h"

#include "mediafmt/mp4/BoxListing.h"

#include <cstdint>
#include <map>
#include <string>

namespace boxmend::dump {

using namespace mediafmt;
using mp4::box::Box;

namespace {

// The code as the JSON shows it: empty for the code 0, as Fourcc::text has it.
std::string jsonCodeText(const mp4::type::Fourcc& code) {
    return code.value == 0 ? std::string() : mp4::codeText(code);
}

// A child's path from its parent's, in the syntax of boxPath: its code, with
// "[k]" when k earlier siblings have the same code. Built from the top down,
// so listing a box with many siblings costs no rescan of them.
std::string childPath(const std::string& parentPath, const mp4::type::Fourcc& code,
                      std::uint32_t earlier) {
    std::string segment = jsonCodeText(code);
    if (earlier > 0)
        segment += "[" + std::to_string(earlier) + "]";
    if (segment.empty())
        return parentPath;
    return parentPath.empty() ? segment : parentPath + "/" + segment;
}

nlohmann::ordered_json boxJson(const Box& box, const std::string& path);

nlohmann::ordered_json childrenJson(const Box& parent, const std::string& parentPath) {
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    std::map<std::uint32_t, std::uint32_t> seen;
    for (const auto& child : parent.children) {
        const std::uint32_t earlier = seen[child->type.value]++;
        children.push_back(boxJson(*child, childPath(parentPath, child->type, earlier)));
    }
    return children;
}

nlohmann::ordered_json boxJson(const Box& box, const std::string& path) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
    std::map<std::string, int> uses;
    for (const auto& field : box.fields) {
        const int earlier = uses[field.name]++;
        const std::string key =
            earlier == 0 ? field.name : field.name + "[" + std::to_string(earlier) + "]";
        fields[key] = mp4::fieldText(*field.value, 0);
    }
    return {{"type", jsonCodeText(box.type)}, {"offset", box.offset},
            {"size", box.recordedSize},       {"path", path},
            {"fields", std::move(fields)},    {"children", childrenJson(box, path)}};
}

} // namespace

nlohmann::ordered_json boxTreeJson(const Box& root) {
    return childrenJson(root, std::string());
}

} // namespace boxmend::dump

#include "tool/boxdump/BoxListing.h"

#include "mediafmt/io/Buffer.h"
#include "tool/repair/Messages.h"

#include <utf8.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <string_view>

namespace boxmend {

using namespace mediafmt;
using mp4::box::Box;

namespace {

constexpr std::uint32_t spacesPerLevel = 2;

using message::appendEscapedByte;
using message::isControlByte;

// Text taken from a file, made safe for a terminal: control bytes become
// "\xNN", except the line breaks a list inserts itself, which are followed
// by at least indent spaces.
std::string printable(std::string_view text, std::uint32_t indent) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool listBreak =
            byte == '\n' && text.size() - i - 1 >= indent &&
            text.substr(i + 1, indent).find_first_not_of(' ') == std::string_view::npos;
        if (isControlByte(byte) && !listBreak)
            appendEscapedByte(out, byte);
        else
            out += static_cast<char>(byte);
    }
    return out;
}

// All four bytes of the code, so that a code with a zero byte still shows,
// as UTF-8: bytes from 0xA0 on are the Latin-1 characters QuickTime codes
// use (the copyright sign of user data), and the control bytes of both
// ranges, 0x80 to 0x9F included, become "\xNN".
std::string codeText(const mp4::type::Fourcc& code) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = static_cast<unsigned char>(code.value >> shift);
        if (isControlByte(byte) || (byte >= 0x80 && byte < 0xA0)) {
            appendEscapedByte(out, byte);
        } else if (byte >= 0xA0) {
            utf8::unchecked::append(std::uint32_t{byte}, std::back_inserter(out));
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

// The code as the JSON shows it: empty for the code 0, as Fourcc::text has it.
std::string jsonCodeText(const mp4::type::Fourcc& code) {
    return code.value == 0 ? std::string() : codeText(code);
}

// The field's own text form; a print that fails keeps what it wrote and
// says so.
std::string fieldText(const mp4::type::Type& field, std::uint32_t indent) {
    io::Buffer buffer;
    const ResultCode rc = field.print(&buffer, indent);
    std::string text(buffer.bytes().begin(), buffer.bytes().end());
    if (rc != 0)
        text += "<error " + std::to_string(rc) + " (" + resultCodeText(rc) + ") printing>";
    return text;
}

void listBox(const Box& box, std::uint32_t depth, std::string& out) {
    const std::string indent(depth * spacesPerLevel, ' ');
    out += indent + codeText(box.type) + "  offset " + std::to_string(box.offset) + "  size " +
           std::to_string(box.recordedSize) + "\n";
    const std::string fieldIndent = indent + std::string(spacesPerLevel, ' ');
    for (const auto& field : box.fields) {
        // Continued lines of a long list line up under the first character of its text.
        const auto textColumn =
            static_cast<std::uint32_t>(fieldIndent.size() + field.name.size() + 2);
        const std::string text = printable(fieldText(*field.value, textColumn), textColumn);
        out += fieldIndent + printable(field.name, 0) + ":";
        if (!text.empty())
            out += " " + text;
        out += "\n";
    }
    for (const auto& child : box.children)
        listBox(*child, depth + 1, out);
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
        fields[key] = fieldText(*field.value, 0);
    }
    return {{"type", jsonCodeText(box.type)}, {"offset", box.offset},
            {"size", box.recordedSize},       {"path", path},
            {"fields", std::move(fields)},    {"children", childrenJson(box, path)}};
}

} // namespace

std::string listBoxTree(const Box& root, std::uint32_t depth) {
    std::string out;
    for (const auto& child : root.children)
        listBox(*child, depth, out);
    return out;
}

nlohmann::ordered_json boxTreeJson(const Box& root) {
    return childrenJson(root, std::string());
}

} // namespace boxmend

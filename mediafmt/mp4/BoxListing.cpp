#include "mediafmt/mp4/BoxListing.h"

#include "mediafmt/io/Buffer.h"

#include <utf8.h>

#include <cstdio>
#include <iterator>
#include <string_view>

namespace mediafmt::mp4 {

namespace {

constexpr std::uint32_t spacesPerLevel = 2;

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

void listBox(const box::Box& box, std::uint32_t depth, std::string& out) {
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

} // namespace

std::string listBoxTree(const box::Box& root, std::uint32_t depth) {
    std::string out;
    for (const auto& child : root.children)
        listBox(*child, depth, out);
    return out;
}

std::string codeText(const type::Fourcc& code) {
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

std::string fieldText(const type::Type& field, std::uint32_t indent) {
    io::Buffer buffer;
    const ResultCode rc = field.print(&buffer, indent);
    std::string text(buffer.bytes().begin(), buffer.bytes().end());
    if (rc != 0)
        text += "<error " + std::to_string(rc) + " (" + resultCodeText(rc) + ") printing>";
    return text;
}

bool isControlByte(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

void appendEscapedByte(std::string& out, unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    out += escaped;
}

} // namespace mediafmt::mp4

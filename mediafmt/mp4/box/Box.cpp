#include "mediafmt/mp4/box/Box.h"

#include "mediafmt/io/BigEndian.h"

#include <algorithm>

namespace mediafmt::mp4::box {

ResultCode Box::readFields(io::Io* stream, std::uint64_t end) {
    if (stream == nullptr)
        return result::nullObject;
    for (Field& field : fields) {
        if (ResultCode rc = field.value->read(stream, end); rc != 0)
            return rc;
    }
    return result::none;
}

ResultCode Box::size(std::uint64_t& out) const {
    std::uint64_t total = 8;
    for (const Field& field : fields)
        total += field.value->size();
    for (const BoxPtr& child : children) {
        std::uint64_t childSize = 0;
        if (ResultCode rc = child->size(childSize); rc != 0)
            return rc;
        total += childSize;
    }
    if (total > 0xFFFFFFFF)
        total += 8;
    out = total;
    return result::none;
}

ResultCode Box::write(io::Io* stream, bool withChildren) const {
    if (stream == nullptr)
        return result::nullObject;
    std::uint64_t total = 0;
    if (ResultCode rc = size(total); rc != 0)
        return rc;
    if (total <= 0xFFFFFFFF) {
        if (ResultCode rc = io::writeUint32(stream, static_cast<std::uint32_t>(total)); rc != 0)
            return rc;
        if (ResultCode rc = type.write(stream); rc != 0)
            return rc;
    } else {
        if (ResultCode rc = io::writeUint32(stream, 1); rc != 0)
            return rc;
        if (ResultCode rc = type.write(stream); rc != 0)
            return rc;
        if (ResultCode rc = io::writeUint64(stream, total); rc != 0)
            return rc;
    }
    for (const Field& field : fields) {
        if (ResultCode rc = field.value->write(stream); rc != 0)
            return rc;
    }
    if (withChildren) {
        for (const BoxPtr& child : children) {
            if (ResultCode rc = child->write(stream, true); rc != 0)
                return rc;
        }
    }
    return result::none;
}

void Box::addField(type::Type* field, std::string name) {
    fields.push_back({field, std::move(name)});
}

void Box::addFields(std::initializer_list<std::pair<type::Type*, const char*>> list) {
    for (const auto& [field, name] : list)
        fields.push_back({field, name});
}

ResultCode Box::addChild(BoxPtr child) {
    if (!child)
        return result::nullObject;
    child->parent = this;
    children.push_back(std::move(child));
    return result::none;
}

ResultCode Box::insertChildAfter(BoxPtr child, const BoxPtr& sibling) {
    if (!child || !sibling)
        return result::nullObject;
    auto at = std::find(children.begin(), children.end(), sibling);
    if (at == children.end())
        return result::error;
    child->parent = this;
    children.insert(at + 1, std::move(child));
    return result::none;
}

} // namespace mediafmt::mp4::box

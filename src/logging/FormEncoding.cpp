#include "logging/FormEncoding.h"

#include <vector>

namespace tw {

namespace {

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '-' ||
           c == '.' || c == '_';
}

// Length of the "NAME=" that starts at pos, or 0.
size_t FieldNameLength(const std::string& text, size_t pos) {
    size_t i = pos;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '=') return i > pos ? i - pos + 1 : 0;
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return 0;
        ++i;
    }
    return 0;
}

}  // namespace

std::string FormEncoding::EncodeValue(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (char ch : value) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (Unreserved(c)) {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string FormEncoding::EncodeQuotedValue(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return "\"" + EncodeValue(value.substr(1, value.size() - 2)) + "\"";
    return EncodeValue(value);
}

std::string FormEncoding::EncodeFieldList(const std::string& fields) {
    // Split into fields first, so that an "&" inside a value stays in it.
    struct Field {
        std::string name;  // with its "="
        std::string value;
        bool terminated;  // an "&" followed the value
    };
    std::vector<Field> list;
    std::string leading;  // text before the first recognised name (kept as a value)
    size_t pos = 0;
    while (pos < fields.size()) {
        size_t nameLen = FieldNameLength(fields, pos);
        if (nameLen == 0 && list.empty()) {
            size_t amp = fields.find('&', pos);
            leading += fields.substr(pos, amp == std::string::npos ? std::string::npos : amp + 1 - pos);
            pos = amp == std::string::npos ? fields.size() : amp + 1;
            continue;
        }
        Field field{fields.substr(pos, nameLen), std::string(), false};
        pos += nameLen;
        for (;;) {
            size_t amp = fields.find('&', pos);
            if (amp == std::string::npos) {
                field.value += fields.substr(pos);
                pos = fields.size();
                break;
            }
            field.value += fields.substr(pos, amp - pos);
            pos = amp + 1;
            if (pos >= fields.size() || FieldNameLength(fields, pos) > 0) {
                field.terminated = true;
                break;
            }
            field.value += '&';
        }
        list.push_back(field);
    }
    std::string out;
    if (!leading.empty()) {
        bool terminated = leading.back() == '&';
        out += EncodeValue(terminated ? leading.substr(0, leading.size() - 1) : leading);
        if (terminated) out += '&';
    }
    for (const Field& field : list) {
        out += field.name;
        out += EncodeQuotedValue(field.value);
        if (field.terminated) out += '&';
    }
    return out;
}

}  // namespace tw

#pragma once
// Encoding of the values of a form body (application/x-www-form-urlencoded): the values of
// tracking messages carry product paths and error texts, and an "&", "=", "+" or "%" in
// them must not start, end or alter a field.

#include <string>

namespace tw {

class FormEncoding {
public:
    // Letters, digits and "*-._" stay, a blank becomes "+", every other byte "%XX"
    // (upper-case hexadecimal).
    static std::string EncodeValue(const std::string& value);

    // As EncodeValue, but a value enclosed in double quotes keeps its two enclosing quotes.
    static std::string EncodeQuotedValue(const std::string& value);

    // Encodes the values of a "NAME=value&NAME=value&" list of fields as the operating-system
    // probes produce it. A field begins at the list's start or after an "&" with a name of
    // upper-case letters, digits and "_" followed by "="; an "&" not followed by such a name
    // belongs to the value before it. Names, "=" and the "&" separators stay as they are.
    static std::string EncodeFieldList(const std::string& fields);
};

}  // namespace tw

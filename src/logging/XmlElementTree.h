#pragma once
// Parses a small XML document into a tree of elements (name, text, attributes, children in
// document order) with the MSXML 6 DOM. Documents with a document type declaration are
// refused, and external entities are never fetched: the texts come from the network.

#include <string>
#include <utility>
#include <vector>

namespace tw {

struct XmlElement {
    std::string name;
    std::string text;  // the element's text value (the text of its content); may be empty
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order
    std::vector<XmlElement> children;                             // elements only, in document order
};

class XmlElementTree {
public:
    // Deepest nesting accepted; deeper documents are refused rather than walked recursively.
    static constexpr int kMaxDepth = 64;

    // Parses text (UTF-16 with its byte-order mark, UTF-8, or the system code page when it is
    // not valid UTF-8) into root,
    // the document element. False with a reason in error when the text is not a
    // well-formed document, declares a document type or nests too deep.
    static bool Parse(const std::string& text, XmlElement& root, std::string& error);
};

}  // namespace tw

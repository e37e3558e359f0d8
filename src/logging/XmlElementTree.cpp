#include "logging/XmlElementTree.h"

#include <windows.h>
#include <msxml2.h>

#include <cstdio>
#include <cstring>

#include "common/Handles.h"

namespace tw {

namespace {

// DOMDocument60 and IXMLDOMDocument2; the MinGW import libraries do not carry them.
const CLSID kClsidDOMDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const IID kIidIXMLDOMDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// A byte-order mark of UTF-16 (little or big endian).
bool IsUtf16(const std::string& text) {
    return text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'));
}

// The text of a UTF-16 document, for the checks made before parsing (the parser reads the
// bytes themselves).
std::wstring WidenUtf16(const std::string& text) {
    const bool bigEndian = text[0] == '\xFE';
    std::wstring out;
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
        const unsigned char a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(text[i + 1]);
        out += static_cast<wchar_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    return out;
}

std::wstring Widen(const std::string& text) {
    if (IsUtf16(text)) return WidenUtf16(text);
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // UTF-8 byte order mark
    if (start >= text.size()) return std::wstring();
    const char* src = text.data() + start;
    int srcLen = static_cast<int>(text.size() - start);
    UINT codePage = CP_UTF8;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, src, srcLen, nullptr, 0);
    if (n <= 0) {
        codePage = CP_ACP;
        n = MultiByteToWideChar(CP_ACP, 0, src, srcLen, nullptr, 0);
    }
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, src, srcLen, &out[0], n);
    return out;
}

std::string Narrow(BSTR text) {
    if (!text) return std::string();
    int len = static_cast<int>(SysStringLen(text));
    if (len == 0) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, len, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, len, &out[0], n, nullptr, nullptr);
    return out;
}

bool SetBoolProperty(IXMLDOMDocument2* doc, const wchar_t* name, bool value) {
    Bstr bname(SysAllocString(name));
    if (!bname) return false;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return SUCCEEDED(doc->setProperty(bname.Get(), v));
}

bool Convert(IXMLDOMNode* node, XmlElement& out, int depth, std::string& error) {
    if (depth > XmlElementTree::kMaxDepth) {
        error = "the document nests too deep";
        return false;
    }
    Bstr name;
    if (FAILED(node->get_nodeName(name.Put()))) {
        error = "an element has no name";
        return false;
    }
    out.name = Narrow(name.Get());
    Bstr text;
    if (SUCCEEDED(node->get_text(text.Put()))) out.text = Narrow(text.Get());

    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (SUCCEEDED(node->get_attributes(attributes.Put())) && attributes) {
        long count = 0;
        attributes->get_length(&count);
        for (long i = 0; i < count; ++i) {
            ComPtr<IXMLDOMNode> attribute;
            if (FAILED(attributes->get_item(i, attribute.Put())) || !attribute) continue;
            Bstr attrName, attrValue;
            attribute->get_nodeName(attrName.Put());
            attribute->get_text(attrValue.Put());
            out.attributes.emplace_back(Narrow(attrName.Get()), Narrow(attrValue.Get()));
        }
    }

    ComPtr<IXMLDOMNodeList> children;
    if (FAILED(node->get_childNodes(children.Put())) || !children) return true;
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        if (FAILED(children->get_item(i, child.Put())) || !child) continue;
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        if (type == NODE_DOCUMENT_TYPE || type == NODE_ENTITY || type == NODE_ENTITY_REFERENCE) {
            error = "the document uses entities";
            return false;
        }
        if (type != NODE_ELEMENT) continue;
        out.children.emplace_back();
        if (!Convert(child.Get(), out.children.back(), depth + 1, error)) return false;
    }
    return true;
}

// Loads the text into the document; false with the parser's reason in error.
bool LoadDocument(IXMLDOMDocument2* doc, const std::string& text, const std::wstring& wide, std::string& error) {
    HRESULT hr = E_FAIL;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (IsUtf16(text)) {
        // The parser is given the bytes, so that it reads them in the encoding their mark
        // and declaration name.
        SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size()));
        if (!bytes) {
            error = "out of memory";
            return false;
        }
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(bytes, &data))) {
            memcpy(data, text.data(), text.size());
            SafeArrayUnaccessData(bytes);
        }
        VARIANT source;
        VariantInit(&source);
        source.vt = VT_ARRAY | VT_UI1;
        source.parray = bytes;
        hr = doc->load(source, &loaded);
        VariantClear(&source);  // destroys the array
    } else {
        Bstr source(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
        if (!source) {
            error = "out of memory";
            return false;
        }
        hr = doc->loadXML(source.Get(), &loaded);
    }
    if (SUCCEEDED(hr) && loaded == VARIANT_TRUE) return true;
    error = "the document is not well-formed";
    ComPtr<IXMLDOMParseError> parseError;
    if (SUCCEEDED(doc->get_parseError(parseError.Put())) && parseError) {
        Bstr reason;
        if (SUCCEEDED(parseError->get_reason(reason.Put())) && reason) {
            std::string why = Narrow(reason.Get());
            while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
            if (!why.empty()) error += ": " + why;
        }
    }
    return false;
}

}  // namespace

bool XmlElementTree::Parse(const std::string& text, XmlElement& root, std::string& error) {
    root = XmlElement();
    error.clear();
    std::wstring wide = Widen(text);
    if (wide.empty()) {
        error = "the document is empty";
        return false;
    }
    // Refused before the parser sees it: a document type declaration is what internal and
    // external entities need, and no configuration of ours has one.
    if (wide.find(L"<!DOCTYPE") != std::wstring::npos || wide.find(L"<!ENTITY") != std::wstring::npos) {
        error = "the document declares a document type";
        return false;
    }

    ComInit com;  // balanced here; a thread already in COM keeps its apartment
    ComPtr<IXMLDOMDocument2> doc;
    HRESULT hr =
        CoCreateInstance(kClsidDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, kIidIXMLDOMDocument2, doc.PutVoid());
    if (FAILED(hr) || !doc) {
        char buf[80];
        snprintf(buf, sizeof(buf), "the XML parser is not available (0x%08lX)", static_cast<unsigned long>(hr));
        error = buf;
        return false;
    }
    doc->put_async(VARIANT_FALSE);
    doc->put_validateOnParse(VARIANT_FALSE);
    doc->put_resolveExternals(VARIANT_FALSE);
    SetBoolProperty(doc.Get(), L"ProhibitDTD", true);

    if (!LoadDocument(doc.Get(), text, wide, error)) return false;
    ComPtr<IXMLDOMDocumentType> doctype;
    if (SUCCEEDED(doc->get_doctype(doctype.Put())) && doctype) {
        error = "the document declares a document type";
        return false;
    }
    ComPtr<IXMLDOMElement> element;
    if (FAILED(doc->get_documentElement(element.Put())) || !element) {
        error = "the document has no root element";
        return false;
    }
    if (!Convert(element.Get(), root, 1, error)) {
        root = XmlElement();
        return false;
    }
    return true;
}

}  // namespace tw

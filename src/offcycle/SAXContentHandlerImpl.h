#pragma once
// The content handler the MSXML SAX reader calls while it parses a manifest. It keeps a
// stack of element states and a transition table (state of the parent element -> local
// name of the child -> state of the child) and fills a ManifestTable.

#include <windows.h>
#include <msxml2.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace tw {
namespace Manifest {

class ManifestTable;
class SAXContentHandlerState;
class SAXContentHandlerStateFactory;

class SAXContentHandlerImpl : public ISAXContentHandler {
public:
    // Builds one state of each kind through the factory and the transition table.
    explicit SAXContentHandlerImpl(SAXContentHandlerStateFactory* factory);
    virtual ~SAXContentHandlerImpl();
    SAXContentHandlerImpl(const SAXContentHandlerImpl&) = delete;
    SAXContentHandlerImpl& operator=(const SAXContentHandlerImpl&) = delete;

    // The handler fills this table from now on and drops any table it owned.
    void SetTable(ManifestTable* table);
    // The table being filled; an owned empty one is created when none was given.
    ManifestTable* GetTable();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ISAXContentHandler
    HRESULT STDMETHODCALLTYPE putDocumentLocator(ISAXLocator* locator) override;
    HRESULT STDMETHODCALLTYPE startDocument() override;
    HRESULT STDMETHODCALLTYPE endDocument() override;
    HRESULT STDMETHODCALLTYPE startPrefixMapping(const wchar_t* prefix, int prefixLength, const wchar_t* uri,
                                                 int uriLength) override;
    HRESULT STDMETHODCALLTYPE endPrefixMapping(const wchar_t* prefix, int prefixLength) override;
    HRESULT STDMETHODCALLTYPE startElement(const wchar_t* namespaceUri, int namespaceUriLength,
                                           const wchar_t* localName, int localNameLength, const wchar_t* qualifiedName,
                                           int qualifiedNameLength, ISAXAttributes* attributes) override;
    HRESULT STDMETHODCALLTYPE endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                                         int localNameLength, const wchar_t* qualifiedName,
                                         int qualifiedNameLength) override;
    HRESULT STDMETHODCALLTYPE characters(const wchar_t* text, int textLength) override;
    HRESULT STDMETHODCALLTYPE ignorableWhitespace(const wchar_t* text, int textLength) override;
    HRESULT STDMETHODCALLTYPE processingInstruction(const wchar_t* target, int targetLength, const wchar_t* data,
                                                    int dataLength) override;
    HRESULT STDMETHODCALLTYPE skippedEntity(const wchar_t* name, int nameLength) override;

private:
    // Looked up by the reader's own text, without a string made per element.
    using Transitions = std::map<std::wstring, SAXContentHandlerState*, std::less<>>;

    LONG m_refCount = 0;
    ISAXLocator* m_locator = nullptr;                              // stored, not used, not owned
    std::deque<SAXContentHandlerState*> m_states;                  // not owned
    std::map<SAXContentHandlerState*, Transitions> m_transitions;  // not owned; null: outside the root

    // One state of each kind, owned here.

    std::unique_ptr<SAXContentHandlerState> m_manifestState;
    std::unique_ptr<SAXContentHandlerState> m_identityState;
    std::unique_ptr<SAXContentHandlerState> m_typeState;
    std::unique_ptr<SAXContentHandlerState> m_versionState;
    std::unique_ptr<SAXContentHandlerState> m_channelState;
    std::unique_ptr<SAXContentHandlerState> m_productState;
    std::unique_ptr<SAXContentHandlerState> m_productNameState;
    std::unique_ptr<SAXContentHandlerState> m_productVersionState;
    std::unique_ptr<SAXContentHandlerState> m_itemState;
    std::unique_ptr<SAXContentHandlerState> m_fileState;
    std::unique_ptr<SAXContentHandlerState> m_featureState;
    std::unique_ptr<SAXContentHandlerState> m_actionState;
    std::unique_ptr<SAXContentHandlerState> m_unexpectedState;

    ManifestTable* m_table = nullptr;
    std::unique_ptr<ManifestTable> m_ownedTable;
};

}  // namespace Manifest
}  // namespace tw

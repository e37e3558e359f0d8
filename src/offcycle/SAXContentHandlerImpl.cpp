#include "offcycle/SAXContentHandlerImpl.h"

#include "offcycle/ManifestTable.h"
#include "offcycle/MsxmlGuids.h"
#include "offcycle/SAXContentHandlerState.h"
#include "offcycle/SAXContentHandlerStateFactory.h"

namespace tw {
namespace Manifest {

SAXContentHandlerImpl::SAXContentHandlerImpl(SAXContentHandlerStateFactory* factory) {
    m_manifestState.reset(factory->CreateManifestState(this));
    m_identityState.reset(factory->CreateIdentityState(this));
    m_typeState.reset(factory->CreateTypeState(this));
    m_versionState.reset(factory->CreateVersionState(this));
    m_channelState.reset(factory->CreateChannelState(this));
    m_productState.reset(factory->CreateProductState(this));
    m_productNameState.reset(factory->CreateProductNameState(this));
    m_productVersionState.reset(factory->CreateProductVersionState(this));
    m_itemState.reset(factory->CreateItemState(this));
    m_fileState.reset(factory->CreateFileState(this));
    m_featureState.reset(factory->CreateFeatureState(this));
    m_actionState.reset(factory->CreateActionState(this));
    m_unexpectedState.reset(factory->CreateUnexpectedState(this));

    // The grammar. The unexpected state has no entry: everything below it is unexpected too.
    m_transitions[nullptr][L"manifest"] = m_manifestState.get();
    m_transitions[m_manifestState.get()][L"identity"] = m_identityState.get();
    m_transitions[m_manifestState.get()][L"item"] = m_itemState.get();
    m_transitions[m_identityState.get()][L"type"] = m_typeState.get();
    m_transitions[m_identityState.get()][L"version"] = m_versionState.get();
    m_transitions[m_identityState.get()][L"channel"] = m_channelState.get();
    m_transitions[m_identityState.get()][L"product"] = m_productState.get();
    m_transitions[m_productState.get()][L"name"] = m_productNameState.get();
    m_transitions[m_productState.get()][L"version"] = m_productVersionState.get();
    m_transitions[m_itemState.get()][L"file"] = m_fileState.get();
    m_transitions[m_itemState.get()][L"feature"] = m_featureState.get();
    m_transitions[m_itemState.get()][L"action"] = m_actionState.get();
}

SAXContentHandlerImpl::~SAXContentHandlerImpl() = default;

void SAXContentHandlerImpl::SetTable(ManifestTable* table) {
    m_table = table;
    m_ownedTable.reset();
}

ManifestTable* SAXContentHandlerImpl::GetTable() {
    if (!m_table) {
        m_ownedTable.reset(new ManifestTable());
        m_table = m_ownedTable.get();
    }
    return m_table;
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidISAXContentHandler)) {
        *object = static_cast<ISAXContentHandler*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE SAXContentHandlerImpl::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

ULONG STDMETHODCALLTYPE SAXContentHandlerImpl::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::putDocumentLocator(ISAXLocator* locator) {
    m_locator = locator;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::startDocument() { return S_OK; }

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::endDocument() { return S_OK; }

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::startPrefixMapping(const wchar_t*, int, const wchar_t*, int) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::endPrefixMapping(const wchar_t*, int) { return S_OK; }

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::startElement(const wchar_t* namespaceUri, int namespaceUriLength,
                                                              const wchar_t* localName, int localNameLength,
                                                              const wchar_t* qualifiedName, int qualifiedNameLength,
                                                              ISAXAttributes* attributes) {
    try {
        SAXContentHandlerState* current = m_states.empty() ? nullptr : m_states.back();
        SAXContentHandlerState* next = m_unexpectedState.get();
        auto entry = m_transitions.find(current);
        if (entry != m_transitions.end() && localName && localNameLength >= 0) {
            auto child = entry->second.find(std::wstring_view(localName, static_cast<size_t>(localNameLength)));
            if (child != entry->second.end()) next = child->second;
        }
        m_states.push_back(next);
        return next->startElement(namespaceUri, namespaceUriLength, localName, localNameLength, qualifiedName,
                                  qualifiedNameLength, attributes);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::endElement(const wchar_t* namespaceUri, int namespaceUriLength,
                                                            const wchar_t* localName, int localNameLength,
                                                            const wchar_t* qualifiedName, int qualifiedNameLength) {
    if (m_states.empty()) return S_OK;  // the reader pairs every end with a start
    SAXContentHandlerState* state = m_states.back();
    m_states.pop_back();
    try {
        return state->endElement(namespaceUri, namespaceUriLength, localName, localNameLength, qualifiedName,
                                 qualifiedNameLength);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::characters(const wchar_t* text, int textLength) {
    if (m_states.empty()) return S_OK;
    try {
        return m_states.back()->characters(text, textLength);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::ignorableWhitespace(const wchar_t*, int) { return S_OK; }

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::processingInstruction(const wchar_t*, int, const wchar_t*, int) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SAXContentHandlerImpl::skippedEntity(const wchar_t*, int) { return S_OK; }

}  // namespace Manifest
}  // namespace tw

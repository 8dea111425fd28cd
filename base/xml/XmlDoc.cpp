#include "XmlDoc.h"

#include "MarkupBounds.h"

namespace vantor {
namespace xml {

namespace {

std::wstring TakeBstr(BSTR b) {
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    SysFreeString(b);
    return s;
}

ComPtr<IXMLDOMElement> AsElement(IXMLDOMNode* node) {
    ComPtr<IXMLDOMElement> element;
    if (node) node->QueryInterface(IID_IXMLDOMElement, element.put_void());
    return element;
}

}  // namespace

DOMNodeType XmlNode::Type() const {
    DOMNodeType type = NODE_INVALID;
    if (node_) node_->get_nodeType(&type);
    return type;
}

std::wstring XmlNode::Name() const {
    BSTR b = nullptr;
    if (!node_ || FAILED(node_->get_nodeName(&b))) return std::wstring();
    return TakeBstr(b);
}

std::wstring XmlNode::Text() const {
    BSTR b = nullptr;
    if (!node_ || FAILED(node_->get_text(&b))) return std::wstring();
    return TakeBstr(b);
}

bool XmlNode::SetText(const std::wstring& text) {
    if (!node_) return false;
    UniqueBstr b(text.c_str());
    return SUCCEEDED(node_->put_text(b.get()));
}

std::wstring XmlNode::Xml() const {
    BSTR b = nullptr;
    if (!node_ || FAILED(node_->get_xml(&b))) return std::wstring();
    return TakeBstr(b);
}

XmlNode XmlNode::FirstChild() const {
    ComPtr<IXMLDOMNode> child;
    if (node_) node_->get_firstChild(child.put());
    return XmlNode(child.get());
}

XmlNode XmlNode::NextSibling() const {
    ComPtr<IXMLDOMNode> next;
    if (node_) node_->get_nextSibling(next.put());
    return XmlNode(next.get());
}

XmlNode XmlNode::Parent() const {
    ComPtr<IXMLDOMNode> parent;
    if (node_) node_->get_parentNode(parent.put());
    return XmlNode(parent.get());
}

XmlNode XmlNode::FirstChildElement() const {
    XmlNode n = FirstChild();
    while (n && !n.IsElement()) n = n.NextSibling();
    return n;
}

XmlNode XmlNode::NextSiblingElement() const {
    XmlNode n = NextSibling();
    while (n && !n.IsElement()) n = n.NextSibling();
    return n;
}

std::vector<XmlNode> XmlNode::ChildElements() const {
    std::vector<XmlNode> out;
    for (XmlNode n = FirstChildElement(); n; n = n.NextSiblingElement()) out.push_back(n);
    return out;
}

bool XmlNode::GetAttribute(const std::wstring& name, std::wstring* value) const {
    ComPtr<IXMLDOMElement> element = AsElement(node_.get());
    if (!element) return false;
    UniqueBstr key(name.c_str());
    VARIANT v;
    VariantInit(&v);
    if (element->getAttribute(key.get(), &v) != S_OK || v.vt != VT_BSTR) {
        VariantClear(&v);
        return false;
    }
    if (value) value->assign(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
    VariantClear(&v);
    return true;
}

bool XmlNode::HasAttribute(const std::wstring& name) const { return GetAttribute(name, nullptr); }

std::wstring XmlNode::AttributeOr(const std::wstring& name, const std::wstring& fallback) const {
    std::wstring value;
    return GetAttribute(name, &value) ? value : fallback;
}

std::vector<Attribute> XmlNode::Attributes() const {
    std::vector<Attribute> out;
    ComPtr<IXMLDOMNamedNodeMap> map;
    if (!node_ || node_->get_attributes(map.put()) != S_OK || !map) return out;
    long count = 0;
    map->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> item;
        if (FAILED(map->get_item(i, item.put())) || !item) continue;
        XmlNode attr(item.get());
        out.emplace_back(attr.Name(), attr.Text());
    }
    return out;
}

bool XmlNode::SetAttribute(const std::wstring& name, const std::wstring& value) {
    ComPtr<IXMLDOMElement> element = AsElement(node_.get());
    if (!element) return false;
    UniqueBstr key(name.c_str());
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    HRESULT hr = element->setAttribute(key.get(), v);
    VariantClear(&v);
    return SUCCEEDED(hr);
}

bool XmlNode::RemoveAttribute(const std::wstring& name) {
    ComPtr<IXMLDOMElement> element = AsElement(node_.get());
    if (!element) return false;
    UniqueBstr key(name.c_str());
    return SUCCEEDED(element->removeAttribute(key.get()));
}

std::vector<XmlNode> XmlNode::SelectNodes(const std::wstring& query) const {
    std::vector<XmlNode> out;
    ComPtr<IXMLDOMNodeList> list;
    UniqueBstr q(query.c_str());
    if (!node_ || node_->selectNodes(q.get(), list.put()) != S_OK || !list) return out;
    long count = 0;
    list->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> item;
        if (SUCCEEDED(list->get_item(i, item.put())) && item) out.emplace_back(item.get());
    }
    return out;
}

XmlNode XmlNode::SelectSingleNode(const std::wstring& query) const {
    ComPtr<IXMLDOMNode> found;
    UniqueBstr q(query.c_str());
    if (node_) node_->selectSingleNode(q.get(), found.put());
    return XmlNode(found.get());
}

XmlNode XmlNode::Append(const XmlNode& child) {
    ComPtr<IXMLDOMNode> added;
    if (!node_ || !child || FAILED(node_->appendChild(child.get(), added.put()))) return XmlNode();
    return XmlNode(added.get());
}

bool XmlNode::Remove(const XmlNode& child) {
    ComPtr<IXMLDOMNode> removed;
    return node_ && child && SUCCEEDED(node_->removeChild(child.get(), removed.put()));
}

bool XmlDoc::Create() {
    doc_ = ComPtr<IXMLDOMDocument2>();
    ComPtr<IXMLDOMDocument2> doc;
    HRESULT hr = CoCreateInstance(CLSID_DOMDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                                  doc.put_void());
    if (FAILED(hr) || !doc) return false;
    doc->put_async(VARIANT_FALSE);
    doc_ = doc;
    return true;
}

bool XmlDoc::RefuseOutsideContent() {
    if (!doc_ && !Create()) return false;
    if (FAILED(doc_->put_resolveExternals(VARIANT_FALSE))) return false;
    VARIANT prohibit;
    VariantInit(&prohibit);
    prohibit.vt = VT_BOOL;
    prohibit.boolVal = VARIANT_TRUE;
    UniqueBstr property(L"ProhibitDTD");
    // Not every parser honours the property: LoadText refuses a document type itself.
    doc_->setProperty(property.get(), prohibit);
    refuseDocumentType_ = true;
    return true;
}

bool XmlDoc::HasDocumentType() const {
    ComPtr<IXMLDOMDocumentType> type;
    return doc_ && doc_->get_doctype(type.put()) == S_OK && type;
}

bool XmlDoc::LoadText(const std::wstring& text, std::wstring* reason) {
    if (reason) reason->clear();
    if (!doc_ && !Create()) {
        if (reason) *reason = L"MSXML 3.0 is not available";
        return false;
    }
    MarkupFacts& facts = facts_;
    ScanMarkupBounds(text, &facts);
    const wchar_t* refusal = nullptr;
    if (facts.mostAttributes > kMaxAttributesPerElement) {
        refusal = L"an element carries more attributes than any document may";
    } else if (facts.doctypeLength && (refuseDocumentType_ || facts.doctypeHasSubset)) {
        refusal = L"the text carries a document type";
    }
    if (refusal) {
        // What was loaded before goes, as after any failed load.
        VARIANT_BOOL ignored = VARIANT_FALSE;
        UniqueBstr empty(L"");
        doc_->loadXML(empty.get(), &ignored);
        if (reason) *reason = refusal;
        return false;
    }
    std::wstring withoutType;
    const std::wstring* parsed = &text;
    if (facts.doctypeLength) {
        // A bare document type declares nothing; without it nothing outside is fetched.
        withoutType = text;
        withoutType.erase(facts.doctypeAt, facts.doctypeLength);
        parsed = &withoutType;
    }
    BSTR b = SysAllocStringLen(parsed->data(), static_cast<UINT>(parsed->size()));
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = b ? doc_->loadXML(b, &ok) : E_OUTOFMEMORY;
    SysFreeString(b);
    if (SUCCEEDED(hr) && ok == VARIANT_TRUE) return true;
    if (reason) {
        ComPtr<IXMLDOMParseError> error;
        BSTR why = nullptr;
        if (SUCCEEDED(doc_->get_parseError(error.put())) && error && SUCCEEDED(error->get_reason(&why)) && why)
            *reason = TakeBstr(why);
        if (reason->empty()) *reason = L"the text is not well-formed XML";
    }
    return false;
}

XmlNode XmlDoc::AsNode() const {
    ComPtr<IXMLDOMNode> node;
    if (doc_) doc_->QueryInterface(IID_IXMLDOMNode, node.put_void());
    return XmlNode(node.get());
}

XmlNode XmlDoc::Root() const {
    ComPtr<IXMLDOMElement> root;
    if (!doc_ || doc_->get_documentElement(root.put()) != S_OK || !root) return XmlNode();
    ComPtr<IXMLDOMNode> node;
    root->QueryInterface(IID_IXMLDOMNode, node.put_void());
    return XmlNode(node.get());
}

XmlNode XmlDoc::CreateElement(const std::wstring& name) {
    ComPtr<IXMLDOMElement> element;
    UniqueBstr tag(name.c_str());
    if (!doc_ || FAILED(doc_->createElement(tag.get(), element.put())) || !element) return XmlNode();
    ComPtr<IXMLDOMNode> node;
    element->QueryInterface(IID_IXMLDOMNode, node.put_void());
    return XmlNode(node.get());
}

XmlNode XmlDoc::CreateProcessingInstruction(const std::wstring& target, const std::wstring& data) {
    ComPtr<IXMLDOMProcessingInstruction> pi;
    UniqueBstr t(target.c_str());
    UniqueBstr d(data.c_str());
    if (!doc_ || FAILED(doc_->createProcessingInstruction(t.get(), d.get(), pi.put())) || !pi) return XmlNode();
    ComPtr<IXMLDOMNode> node;
    pi->QueryInterface(IID_IXMLDOMNode, node.put_void());
    return XmlNode(node.get());
}

XmlNode XmlDoc::Append(const XmlNode& child) { return AsNode().Append(child); }

std::wstring XmlDoc::Xml() const { return AsNode().Xml(); }

}  // namespace xml
}  // namespace vantor

// A small owner layer over the MSXML 3.0 DOM (synchronous DOMDocument30).
//
// The caller keeps COM initialised on its thread for as long as any XmlDoc or XmlNode
// lives (vantor::ScopedCom). Nothing here throws; failures come back as empty nodes,
// false or empty text.
#pragma once

#include <windows.h>
#include <msxml2.h>
#include <string>
#include <utility>
#include <vector>

#include "Handles.h"
#include "MarkupBounds.h"

// mingw-w64 declares these but no library defines them; XmlGuids.cpp does.
EXTERN_C const CLSID CLSID_DOMDocument30;
EXTERN_C const IID IID_IXMLDOMDocument2;

namespace vantor {
namespace xml {

using Attribute = std::pair<std::wstring, std::wstring>;

class XmlNode {
public:
    XmlNode() = default;
    explicit XmlNode(IXMLDOMNode* node) : node_(node) {}

    explicit operator bool() const { return static_cast<bool>(node_); }
    IXMLDOMNode* get() const { return node_.get(); }

    DOMNodeType Type() const;
    bool IsElement() const { return Type() == NODE_ELEMENT; }
    std::wstring Name() const;
    // Text content of the node and its descendants.
    std::wstring Text() const;
    bool SetText(const std::wstring& text);
    // The node and its subtree as markup.
    std::wstring Xml() const;

    // Any kind of node (text, comment, PI, element).
    XmlNode FirstChild() const;
    XmlNode NextSibling() const;
    XmlNode Parent() const;
    // Element children only: comments, PIs and text are passed over.
    XmlNode FirstChildElement() const;
    XmlNode NextSiblingElement() const;
    std::vector<XmlNode> ChildElements() const;

    // Attributes; a missing one gives false (Attribute) or the fallback (AttributeOr).
    bool HasAttribute(const std::wstring& name) const;
    bool GetAttribute(const std::wstring& name, std::wstring* value) const;
    std::wstring AttributeOr(const std::wstring& name, const std::wstring& fallback = std::wstring()) const;
    // Every attribute in document order.
    std::vector<Attribute> Attributes() const;
    bool SetAttribute(const std::wstring& name, const std::wstring& value);
    bool RemoveAttribute(const std::wstring& name);

    // XPath-style queries relative to this node (the document's selection language).
    std::vector<XmlNode> SelectNodes(const std::wstring& query) const;
    XmlNode SelectSingleNode(const std::wstring& query) const;

    // Appends child and gives the appended node (empty on failure).
    XmlNode Append(const XmlNode& child);
    bool Remove(const XmlNode& child);

private:
    ComPtr<IXMLDOMNode> node_;
};

class XmlDoc {
public:
    XmlDoc() = default;
    XmlDoc(XmlDoc&&) = default;
    XmlDoc& operator=(XmlDoc&&) = default;
    XmlDoc(const XmlDoc&) = delete;
    XmlDoc& operator=(const XmlDoc&) = delete;

    // Creates an empty synchronous document; false when MSXML 3.0 cannot be created.
    bool Create();
    // For text from the network: later loads fetch nothing the text names (files, other
    // hosts) and refuse a text that carries a document type. Creates the document first
    // when needed.
    bool RefuseOutsideContent();
    // Whether the loaded document carries a document type.
    bool HasDocumentType() const;
    explicit operator bool() const { return static_cast<bool>(doc_); }
    IXMLDOMDocument2* get() const { return doc_.get(); }

    // Parses text into the document (created first when needed). On failure the
    // document is empty and *reason (if given) holds the parser's explanation. Refused
    // before parsing: an element with more than kMaxAttributesPerElement attributes, and
    // a document type that declares anything of its own (or any document type, after
    // RefuseOutsideContent); a bare document type is left out of what is parsed.
    bool LoadText(const std::wstring& text, std::wstring* reason = nullptr);
    // What the scan before the last LoadText found in its text.
    const MarkupFacts& LoadedFacts() const { return facts_; }

    XmlNode AsNode() const;
    XmlNode Root() const;
    XmlNode CreateElement(const std::wstring& name);
    XmlNode CreateProcessingInstruction(const std::wstring& target, const std::wstring& data);
    // Appends a top-level node (PI, the document element).
    XmlNode Append(const XmlNode& child);

    std::vector<XmlNode> SelectNodes(const std::wstring& query) const { return AsNode().SelectNodes(query); }
    XmlNode SelectSingleNode(const std::wstring& query) const { return AsNode().SelectSingleNode(query); }

    // The whole document as markup (UTF-16; a declaration keeps its encoding name).
    std::wstring Xml() const;

private:
    ComPtr<IXMLDOMDocument2> doc_;
    bool refuseDocumentType_ = false;
    MarkupFacts facts_;
};

}  // namespace xml
}  // namespace vantor

#include "ContactFile.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>

#include "DebugOut.h"
#include "PlainMarkup.h"
#include "XmlDoc.h"
#include "XmlFile.h"

namespace rostbase {

using vantor::xml::Attribute;
using vantor::xml::XmlDoc;
using vantor::xml::XmlFile;
using vantor::xml::XmlNode;

namespace {

// Deeper nesting than this is cut: no real contact book comes near it, and a hostile
// file must not exhaust the stack.
const int kMaxDepth = 200;

// Names compare without regard to case. The names met in practice are ASCII, compared
// here directly: the platform's comparison costs far more, and the reader makes
// hundreds of thousands of them on a large book.
bool Is(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= 0x80 || y >= 0x80) return lstrcmpiW(a.c_str(), b) == 0;
        if (x >= L'A' && x <= L'Z') x += 32;
        if (y >= L'A' && y <= L'Z') y += 32;
        if (x != y) return false;
    }
    if (i < a.size() || b[i]) {
        // Lengths differ; only a non-ASCII tail could still compare equal.
        for (size_t j = i; j < a.size(); ++j)
            if (a[j] >= 0x80) return lstrcmpiW(a.c_str(), b) == 0;
        for (size_t j = i; b[j]; ++j)
            if (b[j] >= 0x80) return lstrcmpiW(a.c_str(), b) == 0;
        return false;
    }
    return true;
}
bool NameIs(const XmlNode& n, const wchar_t* name) { return n.IsElement() && Is(n.Name(), name); }

SHORT Low16(const std::wstring& value) { return static_cast<SHORT>(ReadDecimal(value.c_str()) & 0xFFFF); }

void DepthCut() { vantor::DebugLine(L"rostledger.xml: groups nested deeper than %d levels are not read\n", kMaxDepth); }


// ------------------------------------------------------------------ attribute lists

int HexOrDecimal(const std::wstring& s, size_t from, size_t to, bool hex) {
    unsigned value = 0;
    for (size_t i = from; i < to; ++i) {
        wchar_t c = s[i];
        unsigned d = (c >= L'0' && c <= L'9') ? c - L'0'
                     : hex && (c | 0x20) >= L'a' && (c | 0x20) <= L'f' ? (c | 0x20) - L'a' + 10
                                                                         : 100;
        if (d >= (hex ? 16u : 10u) || value > 0x10FFFF) return -1;
        value = value * (hex ? 16 : 10) + d;
    }
    return to > from && value <= 0x10FFFF ? static_cast<int>(value) : -1;
}

// Decodes the references a serialised attribute value can hold; false on anything else.
bool Unescape(const std::wstring& s, size_t from, size_t to, std::wstring* out) {
    size_t amp = static_cast<size_t>(std::find(s.begin() + from, s.begin() + to, L'&') - s.begin());
    if (amp >= to) {
        out->assign(s, from, to - from);
        return true;
    }
    out->assign(s, from, amp - from);
    for (size_t i = amp; i < to; ++i) {
        if (s[i] != L'&') {
            *out += s[i];
            continue;
        }
        size_t semi = static_cast<size_t>(std::find(s.begin() + i, s.begin() + to, L';') - s.begin());
        if (semi >= to) return false;
        std::wstring ref = s.substr(i + 1, semi - i - 1);
        if (ref == L"amp") *out += L'&';
        else if (ref == L"lt") *out += L'<';
        else if (ref == L"gt") *out += L'>';
        else if (ref == L"quot") *out += L'"';
        else if (ref == L"apos") *out += L'\'';
        else if (ref.size() > 1 && ref[0] == L'#') {
            bool hex = ref[1] == L'x';
            int cp = HexOrDecimal(ref, hex ? 2 : 1, ref.size(), hex);
            if (cp < 0) return false;
            if (cp >= 0x10000) {
                *out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
                *out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                *out += static_cast<wchar_t>(cp);
            }
        } else {
            return false;
        }
        i = semi;
    }
    return true;
}

bool Space(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// Reads the tag that starts at xml[i] ('<'): its attributes, and whether it closes
// itself; i ends behind the tag. False for markup this reading does not expect.
// asWritten: xml is the file's own text rather than the document's output. There a
// tab or line break in a value stands for a space (the parser's reading), which this
// reading does not repeat: such a value is refused, and the caller reads another way.
bool ReadTag(const std::wstring& xml, size_t& i, std::vector<Attribute>* out, bool* selfClosing,
             bool asWritten = false) {
    // The entries already in *out are written over: their strings keep their room.
    size_t count = 0;
    if (i >= xml.size() || xml[i] != L'<') return false;
    i = xml.find_first_of(L" \t\r\n/>", i);
    while (i != std::wstring::npos && i < xml.size()) {
        while (i < xml.size() && Space(xml[i])) ++i;
        if (i >= xml.size()) return false;
        if (xml[i] == L'>' || (xml[i] == L'/' && i + 1 < xml.size() && xml[i + 1] == L'>')) {
            *selfClosing = xml[i] == L'/';
            i += *selfClosing ? 2 : 1;
            out->resize(count);
            return true;
        }
        size_t eq = xml.find(L'=', i);
        if (eq == std::wstring::npos) return false;
        size_t nameEnd = eq;
        while (nameEnd > i && Space(xml[nameEnd - 1])) --nameEnd;
        size_t q = eq + 1;
        while (q < xml.size() && Space(xml[q])) ++q;
        if (q >= xml.size() || (xml[q] != L'"' && xml[q] != L'\'')) return false;
        size_t close = xml.find(xml[q], q + 1);
        if (close == std::wstring::npos) return false;
        if (asWritten) {
            for (size_t k = q + 1; k < close; ++k)
                if (xml[k] < 0x20) return false;
        }
        if (count == out->size()) out->emplace_back();
        Attribute& a = (*out)[count++];
        a.first.assign(xml, i, nameEnd - i);
        if (!Unescape(xml, q + 1, close, &a.second)) return false;
        i = close + 1;
    }
    return false;
}

// The attributes of an element in document order. Asking the DOM for each attribute
// node costs several calls apiece; the element's own markup gives the list in one call.
// Markup this reading does not expect falls back to the DOM.
std::vector<Attribute> AttributesOf(const XmlNode& element) {
    std::wstring xml = element.Xml();
    std::vector<Attribute> out;
    size_t i = 0;
    bool selfClosing = false;
    if (ReadTag(xml, i, &out, &selfClosing)) return out;
    return element.Attributes();
}

// ------------------------------------------------------------------ attribute readers

bool ReadGroupAttributes(ContactGroup* g, const std::vector<Attribute>& attributes) {
    for (const auto& a : attributes) {
        if (a.second.empty()) continue;
        if (Is(a.first, L"id")) g->id = a.second;
        else if (Is(a.first, L"name")) g->name = a.second;
    }
    return !g->id.empty();
}

// The values are moved out of `attributes` into the record.
bool ReadFriendAttributes(FriendData* e, std::vector<Attribute>& attributes) {
    for (auto& a : attributes) {
        if (a.second.empty()) continue;
        const std::wstring& n = a.first;
        std::wstring& v = a.second;
        if (Is(n, L"id")) e->id = std::move(v);
        else if (Is(n, L"name")) e->name = std::move(v);
        else if (Is(n, L"nickname")) e->nickname = std::move(v);
        else if (Is(n, L"birthday")) e->birthday = std::move(v);
        else if (Is(n, L"email")) e->email = std::move(v);
        else if (Is(n, L"voip")) e->voip = std::move(v);
        else if (Is(n, L"phone")) e->phone = std::move(v);
        else if (Is(n, L"mobile")) e->mobile = std::move(v);
        else if (Is(n, L"xlt")) e->xlt = std::move(v);
        else if (Is(n, L"province")) e->province = std::move(v);
        else if (Is(n, L"city")) e->city = std::move(v);
        else if (Is(n, L"sex")) e->sex = Low16(a.second);
        else if (Is(n, L"age")) e->age = Low16(a.second);
        // "address", "memo" and anything else are not kept.
    }
    return !e->id.empty();
}

// The values are moved out of `attributes` into the record.
bool ReadPolicyAttributes(ServicePolicyEntry* p, std::vector<Attribute>& attributes) {
    for (auto& a : attributes) {
        if (a.second.empty()) continue;
        const std::wstring& n = a.first;
        if (Is(n, L"id")) {
            p->id = static_cast<DWORD>(ReadDecimal(a.second.c_str()));
        } else if (Is(n, L"name")) {
            p->name = std::move(a.second);
        } else if (Is(n, L"code")) {
            p->codes.push_back(std::move(a.second));
        } else if (Is(n, L"status")) {
            p->flags[SERVICE_POLICY_STATUS_FLAG] = static_cast<WORD>(Low16(a.second));
        } else if (n.size() >= 4 && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, n.c_str(), 4, L"code", 4) ==
                                        CSTR_EQUAL) {
            p->codes.push_back(std::move(a.second));
        }
    }
    p->codeCount = static_cast<DWORD>(p->codes.size());
    return p->id != 0;
}

std::wstring Decimal(int value) { return std::to_wstring(value); }

// A value as XML 1.0 can hold it: control characters other than tab, line feed and
// carriage return, lone surrogates and U+FFFE/U+FFFF would make the whole saved file
// unreadable, so each becomes U+FFFD.
std::wstring XmlSafe(const std::wstring& value) {
    std::wstring out = value;
    for (size_t i = 0; i < out.size(); ++i) {
        wchar_t c = out[i];
        bool pair = IS_HIGH_SURROGATE(c) && i + 1 < out.size() && IS_LOW_SURROGATE(out[i + 1]);
        if (pair) {
            ++i;
            continue;
        }
        bool control = c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r';
        if (control || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) out[i] = 0xFFFD;
    }
    return out;
}

bool SetValue(XmlNode& element, const std::wstring& name, const std::wstring& value) {
    return element.SetAttribute(name, XmlSafe(value));
}

bool WritePolicyAttributes(const ServicePolicyEntry& p, XmlNode& element) {
    bool ok = element.SetAttribute(L"id", Decimal(static_cast<int>(p.id))) && SetValue(element, L"name", p.name);
    for (DWORD i = 0; ok && i < p.codeCount && i < p.codes.size(); ++i) {
        ok = SetValue(element, L"code" + std::to_wstring(i), p.codes[i]);
    }
    return ok && element.SetAttribute(L"status", Decimal(static_cast<SHORT>(p.Status())));
}

// All thirteen, in the order the writers of the file use.
bool WriteFriendAttributes(const FriendData& e, XmlNode& element) {
    const std::pair<const wchar_t*, const std::wstring*> texts[] = {
        {L"id", &e.id},       {L"nickname", &e.nickname}, {L"name", &e.name},   {L"birthday", &e.birthday},
        {L"email", &e.email}, {L"voip", &e.voip},         {L"phone", &e.phone}, {L"mobile", &e.mobile},
        {L"xlt", &e.xlt},     {L"province", &e.province}, {L"city", &e.city},
    };
    for (const auto& t : texts) {
        if (!SetValue(element, t.first, *t.second)) return false;
    }
    return element.SetAttribute(L"age", Decimal(e.age)) && element.SetAttribute(L"sex", Decimal(e.sex));
}

// ------------------------------------------------------------------ reader
//
// The reader reads markup instead of making several DOM calls per node. Once the parser
// has accepted the file's text (so it is well-formed), that text is read straight into
// the lists. Anything unexpected there (a document type, a line break inside a value,
// nesting beyond what the reader takes) drops what was read, and a plain tree of
// elements is built from the document's serialised markup, or failing that from the DOM.

struct Element {
    std::wstring name;
    std::vector<Attribute> attributes;
    std::vector<Element> children;
};

// Walks markup from its first element to the end of it, handing each start tag to the
// sink: Start names the list the tag's attributes go to, Opened takes the element (false
// stops the walk), End closes it. False for markup this reading does not expect.
template <typename Sink>
bool ScanMarkup(const std::wstring& xml, bool asWritten, Sink& sink) {
    size_t open = 0;
    bool seen = false;
    size_t i = 0;
    for (;;) {
        size_t lt = xml.find(L'<', i);
        if (lt == std::wstring::npos || lt + 1 >= xml.size()) return false;
        wchar_t next = xml[lt + 1];
        size_t end;
        if (xml.compare(lt, 4, L"<!--") == 0) {
            end = xml.find(L"-->", lt + 4);
            i = end == std::wstring::npos ? end : end + 3;
        } else if (xml.compare(lt, 9, L"<![CDATA[") == 0) {
            end = xml.find(L"]]>", lt + 9);
            i = end == std::wstring::npos ? end : end + 3;
        } else if (next == L'?') {
            end = xml.find(L"?>", lt + 2);
            i = end == std::wstring::npos ? end : end + 2;
        } else if (next == L'!') {
            return false;
        } else if (next == L'/') {
            if (open == 0) return false;
            --open;
            sink.End();
            end = xml.find(L'>', lt);
            if (end == std::wstring::npos) return false;
            if (open == 0) return true;
            i = end + 1;
        } else {
            size_t nameEnd = xml.find_first_of(L" \t\r\n/>", lt + 1);
            if (nameEnd == std::wstring::npos) return false;
            if (open == 0 && seen) return false;
            // The tree is freed recursively: nesting the reader would cut anyway is left
            // to the DOM path, which stops descending.
            if (open > kMaxDepth + 2) return false;
            std::vector<Attribute>* attributes = sink.Start(xml, lt + 1, nameEnd);
            seen = true;
            i = lt;
            bool selfClosing = false;
            if (!ReadTag(xml, i, attributes, &selfClosing, asWritten) || !sink.Opened(selfClosing)) return false;
            if (!selfClosing) ++open;
            else if (open == 0) return true;
        }
        if (i == std::wstring::npos) return false;
    }
}

// Builds the plain tree.
class TreeSink {
public:
    explicit TreeSink(Element* top) : top_(top) {}
    std::vector<Attribute>* Start(const std::wstring& xml, size_t name, size_t nameEnd) {
        element_ = open_.empty() ? top_ : &open_.back()->children.emplace_back();
        element_->name.assign(xml, name, nameEnd - name);
        return &scratch_;
    }
    bool Opened(bool selfClosing) {
        // Each tag is read into one list that keeps its room; the element gets a list
        // of just its size.
        element_->attributes.reserve(scratch_.size());
        element_->attributes.assign(std::make_move_iterator(scratch_.begin()), std::make_move_iterator(scratch_.end()));
        if (!selfClosing) open_.push_back(element_);
        return true;
    }
    void End() { open_.pop_back(); }

private:
    Element* top_;
    Element* element_ = nullptr;
    std::vector<Element*> open_;
    std::vector<Attribute> scratch_;
};

bool ElementsFromMarkup(const std::wstring& xml, Element* top) {
    TreeSink sink(top);
    return ScanMarkup(xml, false, sink);
}

void LoadGroupChildren(ContactGroup* target, std::vector<Element>& children, int depth) {
    if (depth > kMaxDepth) {
        DepthCut();
        return;
    }
    for (Element& child : children) {
        if (Is(child.name, L"Group")) {
            auto group = std::make_unique<ContactGroup>();
            if (!ReadGroupAttributes(group.get(), child.attributes)) continue;
            target->subGroups.push_back(group.get());
            LoadGroupChildren(group.release(), child.children, depth + 1);
        } else if (Is(child.name, L"Friend")) {
            auto entry = std::make_unique<FriendEntry>();
            if (!ReadFriendAttributes(entry.get(), child.attributes)) continue;
            // Every element child of a Friend element is read as a service policy.
            for (Element& p : child.children) {
                ServicePolicyEntry policy;
                if (ReadPolicyAttributes(&policy, p.attributes)) AddPolicy(entry->policies, std::move(policy));
            }
            target->friends.push_back(entry.get());
            entry.release();
        }
    }
}

void ReadContacts(Element& root, LoadedContacts* out) {
    for (Element& child : root.children) {
        if (Is(child.name, L"FriendList")) {
            for (Element& g : child.children) {
                if (!Is(g.name, L"Group")) continue;
                ContactGroup probe;
                if (!ReadGroupAttributes(&probe, g.attributes)) continue;
                ContactGroup* rootGroup = probe.id == out->offRoot.id ? &out->offRoot
                                          : probe.id == out->onRoot.id ? &out->onRoot
                                                                       : nullptr;
                if (!rootGroup) continue;
                rootGroup->id = probe.id;
                rootGroup->name = probe.name;
                LoadGroupChildren(rootGroup, g.children, 1);
            }
        } else if (Is(child.name, L"BlackList")) {
            LoadGroupChildren(&out->blackList, child.children, 1);
        } else if (Is(child.name, L"StrangerList")) {
            LoadGroupChildren(&out->strangers, child.children, 1);
        }
    }
}

// Reads the file's own text straight into the lists, element by element, with the
// choices the tree reading makes (LoadGroupChildren, ReadContacts): no tree is built.
class ContactSink {
public:
    explicit ContactSink(LoadedContacts* out) : out_(out) {}
    std::vector<Attribute>* Start(const std::wstring& xml, size_t name, size_t nameEnd) {
        name_.assign(xml, name, nameEnd - name);
        // Friends and everything else keep lists of their own, so their names keep
        // their room from one tag to the next.
        return Is(name_, L"Friend") ? &friendAttributes_ : &attributes_;
    }
    bool Opened(bool selfClosing) {
        Frame frame;
        if (frames_.empty()) {
            if (name_ != L"AddressList") return false;
            frame.kind = kRoot;
        } else {
            const Frame& parent = frames_.back();
            std::vector<Attribute>& attributes = Is(name_, L"Friend") ? friendAttributes_ : attributes_;
            switch (parent.kind) {
            case kRoot:
                if (Is(name_, L"FriendList")) frame.kind = kFriendList;
                else if (Is(name_, L"BlackList")) frame = Container(&out_->blackList, 1);
                else if (Is(name_, L"StrangerList")) frame = Container(&out_->strangers, 1);
                break;
            case kFriendList: {
                if (!Is(name_, L"Group")) break;
                ContactGroup probe;
                if (!ReadGroupAttributes(&probe, attributes)) break;
                ContactGroup* rootGroup = probe.id == out_->offRoot.id  ? &out_->offRoot
                                          : probe.id == out_->onRoot.id ? &out_->onRoot
                                                                        : nullptr;
                if (!rootGroup) break;
                rootGroup->id = probe.id;
                rootGroup->name = probe.name;
                frame = Container(rootGroup, 1);
                break;
            }
            case kGroup:
                if (parent.depth > kMaxDepth) break;
                if (Is(name_, L"Group")) {
                    auto group = std::make_unique<ContactGroup>();
                    if (!ReadGroupAttributes(group.get(), attributes)) break;
                    parent.group->subGroups.push_back(group.get());
                    frame = Container(group.release(), parent.depth + 1);
                } else if (Is(name_, L"Friend")) {
                    auto entry = std::make_unique<FriendEntry>();
                    if (!ReadFriendAttributes(entry.get(), attributes)) break;
                    parent.group->friends.push_back(entry.get());
                    frame.kind = kFriend;
                    frame.entry = entry.release();
                }
                break;
            case kFriend: {
                // Every element child of a Friend element is read as a service policy.
                ServicePolicyEntry policy;
                if (ReadPolicyAttributes(&policy, attributes)) AddPolicy(parent.entry->policies, std::move(policy));
                break;
            }
            case kSkip:
                break;
            }
        }
        if (!selfClosing) frames_.push_back(frame);
        return true;
    }
    void End() { frames_.pop_back(); }

private:
    enum Kind { kSkip, kRoot, kFriendList, kGroup, kFriend };
    struct Frame {
        Kind kind = kSkip;
        ContactGroup* group = nullptr;
        FriendEntry* entry = nullptr;
        int depth = 0;
    };
    static Frame Container(ContactGroup* group, int depth) {
        if (depth > kMaxDepth) DepthCut();
        Frame f;
        f.kind = kGroup;
        f.group = group;
        f.depth = depth;
        return f;
    }

    LoadedContacts* out_;
    std::wstring name_;
    std::vector<Attribute> attributes_;
    std::vector<Attribute> friendAttributes_;
    std::vector<Frame> frames_;
};

void FreeTree(ContactGroup& g) {
    for (FriendEntry* f : g.friends) delete f;
    g.friends.clear();
    for (ContactGroup* sub : g.subGroups) {
        FreeTree(*sub);
        delete sub;
    }
    g.subGroups.clear();
}

void ElementsFromDom(const XmlNode& node, Element* out, int depth) {
    out->name = node.Name();
    out->attributes = node.Attributes();
    if (depth > kMaxDepth + 2) return;
    for (XmlNode child = node.FirstChildElement(); child; child = child.NextSiblingElement()) {
        ElementsFromDom(child, &out->children.emplace_back(), depth + 1);
    }
}

// ------------------------------------------------------------------ update frame

// The id a friend element is looked for by. Where every attribute name of the file is
// ASCII in small letters (so none reads as "id" but "id" itself), and no document type
// can add one, a friend's id is its "id" attribute, asked of the element in one call;
// otherwise the element's markup is read the way the loader reads it.
struct FriendKey {
    std::wstring id;
    bool plainIds;
};

// What one update came to. Absent: the file, or the element the change names, is not
// there, so the store's memory is the book for it and nothing is written; failed: the
// change should have reached the file and did not.
enum class Outcome { kSaved, kAbsent, kFailed };

// One update: the file loaded into a new document, changed, saved whole, all under the
// file's writer lock, so that two stores changing one book (in two processes) take
// turns and neither writes over the other's change.
class Update {
public:
    explicit Update(const std::wstring& account) : path_(ContactFilePath(account)), lock_(path_) {
        if (!lock_) return;
        // No file, no write: an update never creates the contact file.
        if (path_.empty()) {
            state_ = Outcome::kAbsent;
            return;
        }
        if (!doc_.Create()) return;
        if (!file_.Load(path_, &doc_)) {
            // A file that is there but cannot be read now (held by another program, bytes
            // its encoding does not allow, not well-formed) fails the change.
            if (GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
                DWORD error = GetLastError();
                if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) state_ = Outcome::kAbsent;
            }
            return;
        }
        plainIds_ = !doc_.HasDocumentType() && doc_.LoadedFacts().attributeNamesLowerCase;
        root_ = doc_.SelectSingleNode(L"AddressList");
        // A document of another kind holds nothing of the book.
        state_ = root_ ? Outcome::kSaved : Outcome::kAbsent;
    }
    // Whether the file is there, read, and holds a book to change; otherwise Unready()
    // says what the update comes to.
    bool Ready() const { return static_cast<bool>(root_); }
    Outcome Unready() const { return state_; }
    XmlNode& Root() { return root_; }
    XmlDoc& Doc() { return doc_; }
    const std::wstring& Path() const { return path_; }
    Outcome Save() { return file_.Save(doc_, path_) ? Outcome::kSaved : Outcome::kFailed; }
    FriendKey Key(const std::wstring& friendId) const { return {friendId, plainIds_}; }

private:
    std::wstring path_;
    vantor::xml::FileWriterLock lock_;
    XmlDoc doc_;
    XmlFile file_;
    XmlNode root_;
    bool plainIds_ = false;
    Outcome state_ = Outcome::kFailed;
};

// Runs one update; false only when the change should have reached the file and did not.
template <typename Edit>
bool Updated(const std::wstring& account, Edit edit) {
    Update u(account);
    Outcome outcome = u.Ready() ? edit(u) : u.Unready();
    if (outcome == Outcome::kFailed) OutputDebugStringW(L"rostledger.xml: a change could not be saved\n");
    return outcome != Outcome::kFailed;
}

// A step that writes the document: its failure fails the update.
Outcome Then(bool written, Update& u) { return written ? u.Save() : Outcome::kFailed; }

XmlNode FindGroupElement(const XmlNode& element, const std::wstring& groupId, int depth = 0) {
    if (!NameIs(element, L"Group")) return XmlNode();
    ContactGroup probe;
    if (ReadGroupAttributes(&probe, element.Attributes()) && probe.id == groupId) return element;
    if (depth >= kMaxDepth) return XmlNode();
    for (XmlNode child = element.FirstChildElement(); child; child = child.NextSiblingElement()) {
        XmlNode found = FindGroupElement(child, groupId, depth + 1);
        if (found) return found;
    }
    return XmlNode();
}

// Whether a Friend element carries the key's id.
bool HasFriendId(const XmlNode& n, const FriendKey& key) {
    if (key.plainIds) {
        std::wstring id;
        return n.GetAttribute(L"id", &id) && !id.empty() && id == key.id;
    }
    FriendData probe;
    std::vector<Attribute> attributes = AttributesOf(n);
    return ReadFriendAttributes(&probe, attributes) && probe.id == key.id;
}

bool IsFriendElement(const XmlNode& n, const FriendKey& key) { return NameIs(n, L"Friend") && HasFriendId(n, key); }

XmlNode FindFriendChild(const XmlNode& parent, const FriendKey& key) {
    for (XmlNode child = parent.FirstChildElement(); child; child = child.NextSiblingElement()) {
        if (IsFriendElement(child, key)) return child;
    }
    return XmlNode();
}

XmlNode FindGroupChild(const XmlNode& parent, const std::wstring& id) {
    for (XmlNode child = parent.FirstChildElement(); child; child = child.NextSiblingElement()) {
        if (!NameIs(child, L"Group")) continue;
        ContactGroup probe;
        if (ReadGroupAttributes(&probe, child.Attributes()) && probe.id == id) return child;
    }
    return XmlNode();
}

// Depth-first over any nodes from `node` and its following siblings; a Friend's own
// children are not searched.
XmlNode FindFriendElement(XmlNode node, const FriendKey& key, int depth = 0) {
    for (; node; node = node.NextSibling()) {
        if (!node.IsElement()) continue;
        if (NameIs(node, L"Friend")) {
            if (IsFriendElement(node, key)) return node;
            continue;
        }
        if (depth >= kMaxDepth) continue;
        XmlNode found = FindFriendElement(node.FirstChild(), key, depth + 1);
        if (found) return found;
    }
    return XmlNode();
}

// A friend anywhere below a group element, in document order: friends are found in
// sub-groups too, since friends are added to sub-groups.
XmlNode FindFriendBelow(const XmlNode& group, const FriendKey& key, int depth = 0) {
    for (XmlNode child = group.FirstChildElement(); child; child = child.NextSiblingElement()) {
        // Each child's name is asked once: a book has thousands of friends to pass.
        std::wstring name = child.Name();
        if (Is(name, L"Friend")) {
            if (HasFriendId(child, key)) return child;
        } else if (depth < kMaxDepth && Is(name, L"Group")) {
            XmlNode found = FindFriendBelow(child, key, depth + 1);
            if (found) return found;
        }
    }
    return XmlNode();
}

template <typename Visit>
void ForEachTopGroup(XmlNode& root, Visit visit) {
    for (XmlNode list = root.FirstChild(); list; list = list.NextSibling()) {
        if (!NameIs(list, L"FriendList")) continue;
        for (XmlNode g = list.FirstChildElement(); g; g = g.NextSiblingElement()) {
            if (NameIs(g, L"Group") && !visit(g)) return;
        }
    }
}

XmlNode GroupSearch(XmlNode& root, const std::wstring& groupId) {
    XmlNode found;
    ForEachTopGroup(root, [&](XmlNode& top) {
        found = FindGroupElement(top, groupId);
        return !found;
    });
    return found;
}

// Removes the direct child `childId` (found by findChild) of the first group `groupId`
// that holds one, and saves.
template <typename Key>
Outcome RemoveFromGroup(Update& u, const std::wstring& groupId, XmlNode (*findChild)(const XmlNode&, const Key&),
                        const Key& childId) {
    XmlNode holder, element;
    ForEachTopGroup(u.Root(), [&](XmlNode& top) {
        holder = FindGroupElement(top, groupId);
        if (holder) element = findChild(holder, childId);
        return !element;
    });
    return element ? Then(holder.Remove(element), u) : Outcome::kAbsent;
}

}  // namespace

LoadedContacts::~LoadedContacts() {
    for (ContactGroup* g : {&offRoot, &onRoot, &strangers, &blackList}) FreeTree(*g);
}

void XmlLoadContacts(const std::wstring& account, LoadedContacts* out) {
    out->usable = false;
    std::wstring path = ContactFilePath(account);
    XmlDoc doc;
    if (!doc.Create()) return;
    XmlFile file;
    std::wstring reason;
    std::wstring source;
    ContactGroup* lists[] = {&out->offRoot, &out->onRoot, &out->strangers, &out->blackList};
    const std::wstring rootKeys[] = {out->offRoot.id, out->offRoot.name, out->onRoot.id, out->onRoot.name};
    // A reading given up leaves nothing of itself.
    auto drop = [&] {
        for (ContactGroup* g : lists) FreeTree(*g);
        out->offRoot.id = rootKeys[0];
        out->offRoot.name = rootKeys[1];
        out->onRoot.id = rootKeys[2];
        out->onRoot.name = rootKeys[3];
    };
    auto refused = [&reason] {
        OutputDebugStringW(L"载入内存xml错误——");
        OutputDebugStringW(reason.c_str());
        OutputDebugStringW(L"\n");
    };
    try {
        if (!file.Read(path, &source, &reason)) return refused();
        // A plain well-formed text is read straight into the lists: the parser would
        // accept it, and building its document and freeing it again costs more than the
        // reading.
        bool rootHoldsElements = false;
        if (vantor::xml::IsPlainWellFormed(source, &rootHoldsElements) && rootHoldsElements) {
            ContactSink sink(out);
            if (ScanMarkup(source, true, sink)) {
                out->usable = true;
                return;
            }
            drop();
        }
        if (!doc.LoadText(source, &reason)) return refused();
        XmlNode root = doc.SelectSingleNode(L"AddressList");
        if (!root || !root.FirstChild()) return;
        out->usable = true;
        // The parser has accepted the file's text, so that text is read first; the
        // document's own output, then the document itself, serve when it holds what the
        // markup reading does not take.
        ContactSink sink(out);
        bool read = ScanMarkup(source, true, sink);
        std::wstring().swap(source);
        if (!read) {
            drop();
            Element top;
            if (!ElementsFromMarkup(vantor::xml::DocumentMarkup(doc), &top) || top.name != L"AddressList") {
                top = Element();
                ElementsFromDom(root, &top, 0);
            }
            ReadContacts(top, out);
        }
    } catch (const std::bad_alloc&) {
        // What was read is dropped; the store starts with its default roots.
        drop();
        out->usable = false;
    }
}

bool XmlAddFriend(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& group) {
    return Updated(account, [&](Update& u) {
        if (!u.Root().FirstChild()) return Outcome::kAbsent;
        XmlNode target = GroupSearch(u.Root(), group.id);
        if (!target) return Outcome::kAbsent;
        XmlNode element = u.Doc().CreateElement(L"Friend");
        return Then(element && WriteFriendAttributes(entry.data, element) && target.Append(element), u);
    });
}

bool XmlModifyFriend(const std::wstring& account, const FriendSnapshot& entry) {
    return Updated(account, [&](Update& u) {
        if (!u.Root().FirstChild()) return Outcome::kAbsent;
        XmlNode element;
        ForEachTopGroup(u.Root(), [&](XmlNode& top) {
            element = FindFriendBelow(top, u.Key(entry.data.id));
            return !element;
        });
        if (!element) return Outcome::kAbsent;
        return Then(WriteFriendAttributes(entry.data, element), u);
    });
}

bool XmlWriteServicePolicies(const std::wstring& account, const FriendSnapshot& entry) {
    return Updated(account, [&](Update& u) {
        XmlNode list = u.Root().SelectSingleNode(L"FriendList");
        XmlNode element = list ? FindFriendElement(list.FirstChild(), u.Key(entry.data.id)) : XmlNode();
        if (!element) return Outcome::kAbsent;
        while (XmlNode child = element.FirstChild()) {
            if (!element.Remove(child)) return Outcome::kFailed;
        }
        for (const auto& policy : entry.policies) {
            // A policy that cannot be written fails the update: saving the rest would drop it.
            XmlNode p = u.Doc().CreateElement(L"ServicePolicy");
            if (!p || !WritePolicyAttributes(policy, p) || !element.Append(p)) return Outcome::kFailed;
        }
        // Saved policies must reach the file even when it was marked read-only.
        SetFileAttributesW(u.Path().c_str(), 0);
        Outcome saved = u.Save();
        if (saved == Outcome::kSaved) return saved;
        DWORD error = GetLastError();
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        OutputDebugStringW(text ? text : L"");
        OutputDebugStringW(L"\n");
        LocalFree(text);
        return saved;
    });
}

bool XmlModifyGroup(const std::wstring& account, const GroupKey& group) {
    return Updated(account, [&](Update& u) {
        XmlNode element = GroupSearch(u.Root(), group.id);
        if (!element) return Outcome::kAbsent;
        return Then(SetValue(element, L"id", group.id) && SetValue(element, L"name", group.name), u);
    });
}

bool XmlDelFriend(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& group) {
    return Updated(account, [&](Update& u) { return RemoveFromGroup(u, group.id, FindFriendChild, u.Key(entry.data.id)); });
}

bool XmlAddGroup(const std::wstring& account, const GroupKey& group, const GroupKey& parent) {
    return Updated(account, [&](Update& u) {
        XmlNode target = GroupSearch(u.Root(), parent.id);
        if (!target) return Outcome::kAbsent;
        XmlNode element = u.Doc().CreateElement(L"Group");
        return Then(element && SetValue(element, L"id", group.id) && SetValue(element, L"name", group.name) &&
                        target.Append(element),
                    u);
    });
}

bool XmlDelGroup(const std::wstring& account, const GroupKey& group, const GroupKey& parent) {
    return Updated(account, [&](Update& u) { return RemoveFromGroup(u, parent.id, FindGroupChild, group.id); });
}

bool XmlPreventUser(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& group) {
    return Updated(account, [&](Update& u) {
        if (!u.Root().FirstChild()) return Outcome::kAbsent;
        XmlNode moved, blackList;
        for (XmlNode child = u.Root().FirstChild(); child; child = child.NextSibling()) {
            if (NameIs(child, L"BlackList")) {
                blackList = child;  // the last one is used
            } else if (NameIs(child, L"FriendList") && !moved) {
                for (XmlNode g = child.FirstChildElement(); g && !moved; g = g.NextSiblingElement()) {
                    if (!NameIs(g, L"Group")) continue;
                    XmlNode holder = FindGroupElement(g, group.id);
                    XmlNode element = holder ? FindFriendChild(holder, u.Key(entry.data.id)) : XmlNode();
                    if (!element) continue;
                    if (!holder.Remove(element)) return Outcome::kFailed;
                    moved = element;
                }
            }
        }
        if (!blackList) {
            blackList = u.Doc().CreateElement(L"BlackList");
            if (!blackList || !blackList.SetAttribute(L"id", L"0") || !blackList.SetAttribute(L"name", L"黑名单") ||
                !(blackList = u.Root().Append(blackList)))
                return Outcome::kFailed;
        }
        if (!moved) {
            // Built from memory with every attribute, so nothing of the user is lost.
            moved = u.Doc().CreateElement(L"Friend");
            if (!moved || !WriteFriendAttributes(entry.data, moved)) return Outcome::kFailed;
        }
        return Then(static_cast<bool>(blackList.Append(moved)), u);
    });
}

bool XmlDelBlackUser(const std::wstring& account, const FriendSnapshot& entry) {
    return Updated(account, [&](Update& u) {
        // Every BlackList is looked in, as the reader takes the users of all of them.
        for (XmlNode list = u.Root().FirstChildElement(); list; list = list.NextSiblingElement()) {
            if (!NameIs(list, L"BlackList")) continue;
            XmlNode element = FindFriendChild(list, u.Key(entry.data.id));
            if (element) return Then(list.Remove(element), u);
        }
        return Outcome::kAbsent;
    });
}

bool XmlChangeFriendGroup(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& oldGroup,
                          const GroupKey& newGroup) {
    return Updated(account, [&](Update& u) {
        XmlNode from, to;
        ForEachTopGroup(u.Root(), [&](XmlNode& top) {
            if (!from) from = FindGroupElement(top, oldGroup.id);
            if (!to) to = FindGroupElement(top, newGroup.id);
            return !(from && to);
        });
        XmlNode element = from && to ? FindFriendChild(from, u.Key(entry.data.id)) : XmlNode();
        if (!element) return Outcome::kAbsent;
        return Then(from.Remove(element) && to.Append(element), u);
    });
}

}  // namespace rostbase

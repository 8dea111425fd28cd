#include "FileList.h"

#include "DebugOut.h"
#include "PathRules.h"
#include "XmlFile.h"

namespace selfupdate {

using vantor::xml::XmlDoc;
using vantor::xml::XmlFile;
using vantor::xml::XmlNode;

namespace {

FileEntry ReadEntry(const XmlNode& node) {
    FileEntry entry;
    struct Field {
        const wchar_t* name;
        std::wstring FileEntry::*member;
    };
    static const Field kFields[] = {{L"name", &FileEntry::name}, {L"comment", &FileEntry::comment},
                                    {L"dest", &FileEntry::dest}, {L"md5", &FileEntry::md5},
                                    {L"size", &FileEntry::size}, {L"cmd", &FileEntry::cmd}};
    for (const auto& attribute : node.Attributes()) {
        for (const Field& field : kFields) {
            if (SameName(attribute.first, field.name)) entry.*field.member = attribute.second;
        }
    }
    return entry;
}

}  // namespace

bool ReadFileList(const std::wstring& path, std::vector<FileEntry>* entries) {
    XmlDoc doc;
    std::wstring reason;
    // The list comes from the network: nothing it names is fetched while it loads.
    if (!doc.RefuseOutsideContent() || !XmlFile().Load(path, &doc, &reason)) {
        vantor::DebugLine(L"SelfUpdate: the file list does not load: %ls\n", reason.c_str());
        return false;
    }
    if (doc.HasDocumentType()) {
        vantor::DebugLine(L"SelfUpdate: the file list carries a document type\n");
        return false;
    }
    XmlNode root = doc.Root();
    if (!root || root.Name() != L"upgrade") {
        vantor::DebugLine(L"SelfUpdate: the file list has no \"upgrade\" root\n");
        return false;
    }
    for (const XmlNode& child : root.ChildElements()) {
        FileEntry entry = ReadEntry(child);
        if (!entry.name.empty()) entries->push_back(entry);
    }
    return true;
}

}  // namespace selfupdate

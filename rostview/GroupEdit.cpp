#include "GroupEdit.h"

#include "ContactRecords.h"

namespace rostview {

const wchar_t kDuplicateGroupText[] = L"该组已经存在了，请输入不同的名称！";

bool MayEditLabel(bool isRoot, const ContactNode* node) {
    if (isRoot) return false;
    return !node || IsGroup(node->kind);
}

std::string StoredGroupName(const char* text) {
    std::string out;
    if (!text) return out;
    const size_t limit = sizeof(GroupInfoA{}.name) - 1;
    int chars = 0;
    for (const char* p = text; *p && chars < GROUP_NAME_CHARS; ++chars) {
        size_t width = IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] ? 2 : 1;
        if (out.size() + width > limit) break;
        out.append(p, width);
        p += width;
    }
    return out;
}

EditDecision DecideLabelEdit(bool temporary, const char* text, const std::function<bool(const std::string&)>& exists) {
    EditDecision decision;
    decision.name = StoredGroupName(text);
    if (decision.name.empty()) return decision;
    if (exists(decision.name)) {
        decision.outcome = EditOutcome::Duplicate;
        decision.caption = temporary ? L"新建组" : L"修改组";
        return decision;
    }
    decision.outcome = temporary ? EditOutcome::AddGroup : EditOutcome::RenameGroup;
    return decision;
}

}  // namespace rostview

// Label editing of groups: which items may be edited, and what the end of an edit does.
// The tree never takes the edit itself; the new or renamed group shows through the
// contact book's callbacks.
#pragma once

#include <functional>
#include <string>

#include "ContactNode.h"

namespace rostview {

enum { GROUP_NAME_CHARS = 20 };

// The temporary item of a new group has no node; roots and non-groups are refused.
bool MayEditLabel(bool isRoot, const ContactNode* node);

// The name as the contact dialogs will store it: at most 20 characters, then cut to the
// record's 23 bytes on a whole character.
std::string StoredGroupName(const char* text);

enum class EditOutcome { Nothing, AddGroup, RenameGroup, Duplicate };

struct EditDecision {
    EditOutcome outcome = EditOutcome::Nothing;
    std::string name;
    const wchar_t* caption = nullptr;  // of the duplicate-name box
};

extern const wchar_t kDuplicateGroupText[];

// text is null for a cancelled edit. exists answers whether the parent has a group of
// that name.
EditDecision DecideLabelEdit(bool temporary, const char* text, const std::function<bool(const std::string&)>& exists);

}  // namespace rostview

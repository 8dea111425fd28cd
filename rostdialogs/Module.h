// Module state of the contact dialogs: the own instance, the kernel facade, the use count,
// the single search dialog and the tables of open delete confirmations; and the workers
// that keep the library loaded while they run.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "UseCount.h"

namespace rostdialogs {

HINSTANCE Self();
void SetSelf(HINSTANCE instance);
void SetFacade(HMODULE facade);

UseCount& Uses();
inline void TakeUse() { Uses().Take(); }
// The caller must not touch module state afterwards: the library may be gone.
inline void GiveUse() { Uses().Give(); }

class UserSearchDialog;
UserSearchDialog*& SearchDialogSlot();

// Open confirmations by id: friends and black-list entries share one table.
using OpenTable = std::map<std::string, HWND>;
OpenTable& OpenFriendConfirmations();
OpenTable& OpenGroupConfirmations();

// Runs `work(param)` on a thread that holds a use and a reference on this library, both
// given back as its last acts. Null when the thread could not start (nothing is held).
HANDLE StartWorker(void (*work)(void* param), void* param);

}  // namespace rostdialogs

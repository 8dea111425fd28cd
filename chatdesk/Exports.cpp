// ChatDesk's exports: the tab plug-in calls and the contact notices. The plug handle is
// the IM service object; handles this library did not hand out are refused.
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>

#include "AddressCallback.h"
#include "ChatDialog.h"
#include "ImService.h"
#include "OleHost.h"
#include "LiveSet.h"
#define TABPLUG_DECLARE_EXPORTS
#include "TabPlug.h"

namespace {

HINSTANCE g_instance = nullptr;
vantor::LiveSet<chatdesk::ImService> g_services;
chatdesk::ChatDialogFactory g_chatWindows;

chatdesk::ImService* Live(TabPlugHandle plug) {
    auto* service = static_cast<chatdesk::ImService*>(plug);
    return g_services.Contains(service) ? service : nullptr;
}

chatdesk::ImService* Registered(UINT_PTR user) {
    auto* service = reinterpret_cast<chatdesk::ImService*>(user);
    return g_services.Contains(service) ? service : nullptr;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && !g_instance) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR) {
    // The chat windows embed OLE objects in their text.
    HRESULT ole = OleInitialize(nullptr);
    chatdesk::ImService::Setup setup;
    setup.parent = parent;
    setup.container = container;
    setup.book = context;
    setup.instance = g_instance;
    setup.ownModule = g_instance;
    setup.oleInitialized = SUCCEEDED(ole);
    setup.factory = &g_chatWindows;
    chatdesk::ImService* service = chatdesk::ImService::Create(setup);
    if (!service) {
        if (SUCCEEDED(ole)) OleUninitialize();
        return nullptr;
    }
    g_services.Add(service);
    return service;
}

int WINAPI TabPlug_Destroy(TabPlugHandle plug) {
    chatdesk::ImService* service = Live(plug);
    if (!service) return 0;
    bool ole = service->Settings().oleInitialized;
    g_services.Remove(service);
    chatdesk::ImService::Destroy(service);
    // The last active control goes with the last of its windows.
    if (g_services.Empty()) chatdesk::SetActiveInPlaceObject(nullptr);
    if (ole) OleUninitialize();
    return 1;
}

int WINAPI TabPlug_Move(TabPlugHandle, int, int, int, int) { return 1; }

int WINAPI TabPlug_Show(TabPlugHandle, int) { return 1; }

int WINAPI SwitchSkin(TabPlugHandle plug) { return plug ? 1 : 0; }

void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR parameter) {
    if (chatdesk::ImService* service = Live(plug)) service->DoCommand(command, parameter);
}

void CALLBACK AddressCallback_OnModifyFriend(FriendHandle entry, UINT_PTR user) {
    if (chatdesk::ImService* service = Registered(user)) service->OnFriendChanged(entry);
}

// Exported as both AddressCallback_OnDelFriend and AddressCallback_OnPreventUser: a
// friend removed or blocked closes the chat with that friend.
void CALLBACK ChatDesk_OnFriendRemoved(FriendHandle entry, GroupHandle, UINT_PTR user) {
    if (chatdesk::ImService* service = Registered(user)) service->OnFriendRemoved(entry);
}

}  // extern "C"

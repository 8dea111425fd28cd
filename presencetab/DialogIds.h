// Templates and controls of the presence tab's dialogs (shared with PresenceTab.rc).
#pragma once

#define IDD_GROUP_CHOOSER 101
#define IDD_PRESENCE_MAIN 102
#define IDD_ADD_FRIEND 103
#define IDD_ANSWER 104
#define IDD_FRIEND_ADDED 105
#define IDD_REFUSAL 106

#define IDC_PROMPT 1000
#define IDC_CLOSE 1002
#define IDC_ICON_PLACE 1003
#define IDC_PEER_ID 1011
#define IDC_PEER_NICK 1012
#define IDC_REQUEST_TEXT 1013
#define IDC_SEND 1014
#define IDC_CANCEL 1015
#define IDC_REQUEST_MESSAGE 1016
#define IDC_REASON_BOX 1017
#define IDC_REASON 1018
#define IDC_REFUSE 1019
#define IDC_ACCEPT 1020
#define IDC_GROUPS 1022
#define IDC_OK 1023
#define IDC_ADD_AGAIN 1026

// The file-transfer control shown inside chat text: its identity, dispatch ids and events.
// Hosts create it by class id, drive it through IDispatch and sink its events.
#pragma once

#include <windows.h>

// {10E73217-4A0A-4FD3-A86B-2C9DB331D1DE}
static const CLSID CLSID_FileSendCtl =
    {0x10E73217, 0x4A0A, 0x4FD3, {0xA8, 0x6B, 0x2C, 0x9D, 0xB3, 0x31, 0xD1, 0xDE}};
// The control's (empty) property page.
// {7A3C51E2-9B84-4E0F-A6D1-3F52C8E07B19}
static const CLSID CLSID_FileSendCtlPropPage =
    {0x7A3C51E2, 0x9B84, 0x4E0F, {0xA6, 0xD1, 0x3F, 0x52, 0xC8, 0xE0, 0x7B, 0x19}};
// {216F0B78-17B0-4CFB-8E30-1B4835521891}, version 1.0
static const GUID LIBID_FILESENDCTLLib =
    {0x216F0B78, 0x17B0, 0x4CFB, {0x8E, 0x30, 0x1B, 0x48, 0x35, 0x52, 0x18, 0x91}};
// {E74FAAA0-6100-4C28-B041-48C1DC28CB79}
static const IID DIID__DFileSendCtl =
    {0xE74FAAA0, 0x6100, 0x4C28, {0xB0, 0x41, 0x48, 0xC1, 0xDC, 0x28, 0xCB, 0x79}};
// {595B79B7-6DD1-452E-A297-D2E0E22AC448}
static const IID DIID__DFileSendCtlEvents =
    {0x595B79B7, 0x6DD1, 0x452E, {0xA2, 0x97, 0xD2, 0xE0, 0xE2, 0x2A, 0xC4, 0x48}};

#define FILESENDCTL_PROGID "FILESENDCTL.FileSendCtlCtrl.1"
#define FILESENDCTL_PAGE_PROGID "FILESENDCTL.FileSendCtlPropPage.1"
#define FILESENDCTL_LIB_MAJOR 1
#define FILESENDCTL_LIB_MINOR 0

// _DFileSendCtl methods. Texts are BSTRs, answers VARIANT_BOOL unless stated.
enum FileSendCtlDispId {
    DISPID_FSC_SET_TRANS_FILE = 1,         // (pWho, pFile, pSize, pDateTime)
    DISPID_FSC_SET_ACCEPT_FILE = 2,        // (pWho, pFile, pSize, pDateTime)
    DISPID_FSC_CANCEL_TRANSMIT_FILE = 3,
    DISPID_FSC_REJECT_TRANSMIT_FILE = 4,
    DISPID_FSC_GET_TRANSMIT_FILE_NAME = 5, // -> BSTR
    DISPID_FSC_IS_TRANSMIT_FILE = 6,       // (pDateTime)
    DISPID_FSC_SET_TRANSMIT_PROGRESS = 7,  // (dProgress: double, percent)
    DISPID_FSC_TRANSMIT_COMPLETE = 8,
    DISPID_FSC_IS_IN_TRANSFERING = 9,
    DISPID_FSC_IS_SEND_WAITING = 10,
    DISPID_FSC_TRANSMIT_FAILED = 11,
    DISPID_FSC_IS_REQUEST_WAITING = 12,
};

// _DFileSendCtlEvents. Arguments arrive reversed in DISPPARAMS: for the accept event
// rgvarg[1] is the chosen save path and rgvarg[0] the transfer's date-time text.
enum FileSendCtlEventId {
    DISPID_FSC_ON_SEND_TRANSFER_CANCELED = 1,
    DISPID_FSC_ON_RECV_TRANSFER_ACCEPT = 2,
    DISPID_FSC_ON_RECV_TRANSFER_REJECT = 3,
    DISPID_FSC_ON_RECV_TRANSFER_CANCELED = 4,
};

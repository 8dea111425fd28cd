// Resources of FileSendCtl.dll (the type library is TYPELIB 1).
#pragma once

#define IDD_PROPPAGE_GENERAL 200
#define IDI_FILESENDCTL 201

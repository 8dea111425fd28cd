// Pieces the login, the logoff and the service application share: the catalog read, the
// release of what a login loaded, the calls into the modules a login loads.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "ContactRecords.h"
#include "ModulePath.h"
#include "outside/zumbase.h"

namespace clientcore {

// The service catalog: boards in catalog order and, at the same position, each board's
// subjects. A board or subject whose read answers -1 is left out.
struct Catalog {
    std::vector<ZumCatalogInfo> boards;
    std::vector<std::vector<ZumSubjectInfo>> subjects;
};
void DownloadBoardsAndSubjects(Catalog* catalog, bool trace);

// Unloads the store and logs off the presence server, freeing both modules (what a login
// loaded). The platform connection is left as it is.
void ReleaseLoginModules();

// A function of a module the login loaded, by name; null when the module or the name is
// missing.
template <typename Fn>
Fn ModuleExport(HMODULE module, const char* name) {
    return vantor::ProcAddress<Fn>(module, name);
}
#define ROST_EXPORT(name) ModuleExport<decltype(&::name)>(Login().rostBaseModule, #name)
#define PRESENCE_EXPORT(name) ModuleExport<decltype(&::name)>(Login().presenceModule, #name)

// One diagnostic line made of parts (fixed texts converted from UTF-16 by the caller,
// platform texts as they come); never a format.
void TraceLine(std::initializer_list<std::string> parts);
std::string Ansi(const wchar_t* text);

// The 8-bit application routine shared by Cco_ApplyServiceA and the login's apply loop.
int ApplyServiceA(int serviceId, const char* parameters, ServicePolicyInfoA* out);
int ApplyServiceW(int serviceId, const wchar_t* parameters, ServicePolicyInfoW* out);

}  // namespace clientcore

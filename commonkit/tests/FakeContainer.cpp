// A container that knows only the plug-ins a test tells it about.
#include <map>

#include "FakeHosts.h"
#include "TabPlug.h"

namespace {

struct Entry {
    int answer;
    int writeOutputs;
    HMODULE module;
    TabPlugHandle plug;
};

std::map<PlugId, Entry> g_plugs;
PlugId g_lastLoad = 0, g_lastUnload = 0;
int g_loads = 0, g_unloads = 0;
int g_holds = 0, g_releases = 0;

}  // namespace

extern "C" {

void WINAPI FakeContainer_SetPlug(PlugId id, int answer, int writeOutputs, HMODULE module, TabPlugHandle plug) {
    g_plugs[id] = Entry{answer, writeOutputs, module, plug};
}

void WINAPI FakeContainer_Reset() {
    g_plugs.clear();
    g_lastLoad = g_lastUnload = 0;
    g_loads = g_unloads = 0;
    g_holds = g_releases = 0;
}

int WINAPI FakeContainer_Holds(int* releases) {
    *releases = g_releases;
    return g_holds;
}

int WINAPI FakeContainer_LastLoad(PlugId* id) {
    *id = g_lastLoad;
    return g_loads;
}

int WINAPI FakeContainer_LastUnload(PlugId* id) {
    *id = g_lastUnload;
    return g_unloads;
}

int WINAPI Container_QueryModule(PlugId id, HMODULE* module, TabPlugHandle* plug) {
    auto it = g_plugs.find(id);
    if (it == g_plugs.end()) return 0;
    if (it->second.writeOutputs) {
        if (module) *module = it->second.module;
        if (plug) *plug = it->second.plug;
    }
    return it->second.answer;
}

// The plug-ins a forwarder holds for a call are answered as the query answers them.
int WINAPI Container_HoldPlug(PlugId id, HMODULE* module, TabPlugHandle* plug) {
    int answer = Container_QueryModule(id, module, plug);
    g_holds += answer ? 1 : 0;
    return answer;
}

void WINAPI Container_ReleasePlug(PlugId) { ++g_releases; }

int WINAPI Container_LoadPlug(PlugId id) {
    g_lastLoad = id;
    ++g_loads;
    return g_plugs.count(id) ? 1 : 0;
}

int WINAPI Container_UnloadPlug(PlugId id) {
    g_lastUnload = id;
    ++g_unloads;
    return g_plugs.count(id) ? 1 : 0;
}

}  // extern "C"

#include "WizardUrls.h"

#include "IniFile.h"
#include "Sync.h"
#include "Text.h"

namespace enrolwizard {

namespace {

vantor::CriticalSection g_lock;
bool g_loaded = false;
PageUrls g_urls;

std::string ConfiguredZumUrl() {
    std::wstring path = vantor::ini::ProgramFile(L"config\\commprof.cfg");
    return vantor::WideToAnsi(vantor::ini::ReadString(path, L"CommonUrl", L"ZumUrl", L"", 260));
}

// Caller holds g_lock.
void LoadDefaults() {
    if (g_loaded) return;
    g_urls = DefaultPageUrls(ConfiguredZumUrl());
    g_loaded = true;
}

}  // namespace

PageUrls CurrentPageUrls() {
    vantor::Lock lock(g_lock);
    LoadDefaults();
    return g_urls;
}

void SetPageUrls(const char* first, const char* signUp, const char* agreement) {
    vantor::Lock lock(g_lock);
    LoadDefaults();
    if (first) g_urls.first = first;
    if (signUp) g_urls.signUp = signUp;
    if (agreement) g_urls.agreement = agreement;
}

}  // namespace enrolwizard

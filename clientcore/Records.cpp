#include "Records.h"

#include <cstdlib>
#include <cstring>

namespace clientcore {

namespace {

// The platform gives at most six codes; a broken count must not reach past them.
int CodeCount(const ZumServiceInfo& in) {
    if (in.codeCount < 0) return 0;
    return in.codeCount > SERVICE_POLICY_CODES ? SERVICE_POLICY_CODES : in.codeCount;
}

template <typename Policy>
void CopyFlags(const ZumServiceInfo& in, Policy* out) {
    out->flags[0] = in.flag0;
    out->flags[1] = in.flag1;
    out->flags[2] = in.flag2;
    out->flags[3] = in.flag3;
    out->flags[SERVICE_POLICY_STATUS_FLAG] = in.state;
    out->flags[5] = in.flag5;
}

}  // namespace

unsigned long LeadingNumber(const char* field, size_t width) {
    unsigned long value = 0;
    for (size_t i = 0; i < width && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + static_cast<unsigned long>(field[i] - '0');
    }
    return value;
}

int FieldInt(const char* field, size_t width) {
    return std::atoi(std::string(field, vantor::BoundedLength(field, width)).c_str());
}

void PolicyFromServiceInfoA(const ZumServiceInfo& in, ServicePolicyInfoA* out) {
    memset(out, 0, sizeof *out);
    out->id = static_cast<DWORD>(LeadingNumber(in.id));
    CopyText(out->name, in.name);
    CopyText(out->summary, in.description);
    CopyFlags(in, out);
    CopyText(out->locator, in.locator);
    int codes = CodeCount(in);
    out->codeCount = static_cast<DWORD>(codes);
    for (int i = 0; i < codes; ++i) CopyText(out->codes[i], in.codes[i]);
}

void PolicyFromServiceInfoW(const ZumServiceInfo& in, ServicePolicyInfoW* out) {
    memset(out, 0, sizeof *out);
    out->id = static_cast<DWORD>(LeadingNumber(in.id));
    CopyText(out->name, in.name);
    CopyTextIfAny(out->summary, in.description);
    CopyFlags(in, out);
    CopyTextIfAny(out->locator, in.locator);
    int codes = CodeCount(in);
    out->codeCount = static_cast<DWORD>(codes);
    for (int i = 0; i < codes; ++i) CopyText(out->codes[i], in.codes[i]);
}

void BoardFromCatalogInfo(const ZumCatalogInfo& in, ServiceBoardInfoA* out) {
    memset(out, 0, sizeof *out);
    CopyText(out->caption, in.name);
    CopyText(out->summary, in.description);
    CopyText(out->locator, in.resource);
    CopyText(out->extra, in.fourth);
}

void SubjectFromSubjectInfo(const ZumSubjectInfo& in, ServiceSubjectInfoA* out) {
    memset(out, 0, sizeof *out);
    CopyText(out->caption, in.name);
    out->number = static_cast<DWORD>(FieldInt(in.serviceId));
    CopyText(out->summary, in.text2);
    CopyText(out->locator, in.text3);
    CopyText(out->extra, in.link);
    out->tail = in.accessMode;
}

}  // namespace clientcore

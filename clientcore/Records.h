// Platform records into the contact store's records, and the field copies they use.
//
// Platform texts are read no further than their fields (a full field may lack its
// terminator); each text lands cut to the target's width less one, never splitting a
// double-byte character.
#pragma once

#include <string>

#include "ContactRecords.h"
#include "Text.h"
#include "outside/zumbase.h"

namespace clientcore {

template <size_t D, size_t S>
void CopyText(char (&target)[D], const char (&source)[S]) {
    vantor::CopyField(target, D, vantor::FieldText(source).c_str());
}

template <size_t D, size_t S>
void CopyText(WCHAR (&target)[D], const char (&source)[S]) {
    vantor::CopyField(target, D, vantor::AnsiToWide(vantor::FieldText(source)).c_str());
}

// Same, but an empty source leaves the target as it was.
template <typename T, size_t D, size_t S>
void CopyTextIfAny(T (&target)[D], const char (&source)[S]) {
    if (source[0] != '\0') CopyText(target, source);
}

// A wide text into an 8-bit field (ANSI code page); an empty source leaves the target.
template <size_t D, size_t S>
void CopyTextIfAny(char (&target)[D], const WCHAR (&source)[S]) {
    std::string text = vantor::WideToAnsi(vantor::FieldText(source));
    if (!text.empty()) vantor::CopyField(target, D, text.c_str());
}

// Decimal value of the leading digits of a field (0 when there are none).
unsigned long LeadingNumber(const char* field, size_t width);
template <size_t S> unsigned long LeadingNumber(const char (&field)[S]) { return LeadingNumber(field, S); }

// atoi of a field read within its width.
int FieldInt(const char* field, size_t width);
template <size_t S> int FieldInt(const char (&field)[S]) { return FieldInt(field, S); }

void PolicyFromServiceInfoA(const ZumServiceInfo& in, ServicePolicyInfoA* out);
void PolicyFromServiceInfoW(const ZumServiceInfo& in, ServicePolicyInfoW* out);
void BoardFromCatalogInfo(const ZumCatalogInfo& in, ServiceBoardInfoA* out);
void SubjectFromSubjectInfo(const ZumSubjectInfo& in, ServiceSubjectInfoA* out);

}  // namespace clientcore

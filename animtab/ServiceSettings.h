// The movie's service settings, "resource\TabDeck\flash\config.xml": which service
// entries the movie shows as available, prepared each time the pane is created from the
// installed programs and the current account's service boards.
#pragma once

#include <string>
#include <vector>

#include "VantorTypes.h"
#include "XmlDoc.h"

namespace animtab {

struct ServiceFacts {
    bool gamePresent = false;   // a subkey of HKLM "SOFTWARE\Vantor\" with a non-zero "Game"
    bool mirnPresent = false;   // the "Mirn" product line is installed
    bool knownAccount = false;  // RostLedger answered and there is a current account
    std::vector<long> boards;   // the account's service board numbers
};

// The installed programs under HKLM "SOFTWARE\Vantor\".
void ReadInstalledPrograms(ServiceFacts* facts);

// The current account's boards through "RostLedger.dll" (loaded by bare name and freed).
void ReadAccountBoards(HostContext book, ServiceFacts* facts);

// Sets every "navigation/*/service/@status" from the facts. Children without a
// "service" element and missing "serviceN" entries are passed over.
void ApplyServiceStatuses(const ServiceFacts& facts, const vantor::xml::XmlDoc& doc);

// The whole preparation of "<program folder>resource\TabDeck\flash\config.xml"; a file
// that is missing or does not parse is left as it is.
bool PrepareServiceSettings(const std::wstring& programDir, HostContext book);

}  // namespace animtab

// The name the save dialog proposes for a received file. The offered path comes from the
// peer, so only its last part is kept and it is made a plain, harmless file name.
#pragma once

#include <string>

namespace filesend {

// Name shown in the control: the path's part after the last backslash, with the marks
// that reorder how text is shown (left-to-right and right-to-left marks, embeddings,
// overrides and isolates) replaced by '_'.
std::wstring DisplayName(const std::wstring& path);

// The peer's path cut after the last '\\', '/' or ':', with characters that file names
// cannot hold and direction marks replaced by '_', trailing dots and spaces dropped; a
// neutral name for what is left empty, "." or ".."; device names ("CON", "com1.txt",
// "CONIN$", ...) get a leading '_'.
std::wstring ProposedSaveName(const std::wstring& peerPath);

// The name's extension, from its last '.' on ("" when it has none).
std::wstring ExtensionOf(const std::wstring& name);

// Filter for the save dialog in the "a|b||" form: "<ext>文件|*<ext>||".
std::wstring SaveFilter(const std::wstring& extension);
// The same with each '|' made a terminator, as the dialog takes it.
std::wstring DialogFilter(const std::wstring& filter);

}  // namespace filesend

// Contact files as the download writes them: declared gb2312, GBK bytes.
#pragma once

#include <string>

// The text of a realistic downloaded contact book (UTF-16; see GbkFile for the bytes).
std::wstring DownloadedBook();
// text as the bytes of a file declared gb2312 (text must not carry its own declaration).
std::string GbkFile(const std::wstring& text);
// Writes bytes as the contact file of account.
void PutContactFile(const std::wstring& account, const std::string& bytes);

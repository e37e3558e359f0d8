#pragma once
// Conversions between the manifests' wide texts and the narrow texts the "A" file functions use.
#include <string>

namespace tw {

// The name in the ANSI code page; false when a character has no exact form there: a default
// or best-fit character would name another file.
bool ToNarrow(const std::wstring& wide, std::string& narrow);
// A wide text for log lines only: characters without an exact form become '?'.
std::string LogText(const std::wstring& wide);
// A narrow text from the configuration, read in the ANSI code page as the manifests are.
bool ToWide(const char* narrow, std::wstring& wide);

}  // namespace tw

#pragma once
// Texts across the Windows boundary: the program keeps UTF-8, Windows' wide
// calls take and give UTF-16. Built only on Windows.
#ifdef _WIN32

#include <string>
#include <string_view>

namespace qel {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
// A path for the wide file calls. One that comes near the classic limit of
// 260 characters once made absolute (a relative one below a deep current
// folder too) is given absolute with the \\?\ prefix, which lifts the limit;
// others are left as they are.
std::wstring WinPath(std::string_view utf8);

// The system's own text for an error code (GetLastError, a registry call's
// result), in the user's language, without the closing full stop.
std::string WinReason(unsigned long err);

// Why a file call failed, for its GetLastError code, said as SystemReason
// says it for errno: the common causes (missing, no permission, write
// protected, disk full, not a folder, name too long) in Russian, any other as
// "системная ошибка N (WinReason)".
std::string WinFileReason(unsigned long err);

}  // namespace qel
#endif

#pragma once

#include <cstdint>
#include <string>

// The settings file: config.ini beside the executable, or in the user's
// roaming application data when the program folder refuses writes.
namespace GTIni {

// The program's directory, ending in a path separator.
extern std::wstring AppDir;
// The one file read at load and written at unload: AppDir + "config.ini",
// or Yorisen\config.ini under the roaming application data when the program
// folder refuses writes.
extern std::wstring IniPath;

// The running exe's path, the same however it was started (8.3 or long
// names, a \\?\ prefix, a junction, a substituted drive): what the settings
// and the one-copy rule go by.
std::wstring ProgramPath();
// path without its \\?\ (or \\?\UNC\) prefix, where the plain form is short
// enough for every call (under MAX_PATH).
std::wstring PlainPath(const std::wstring& path);

// Fills AppDir and IniPath, carrying earlier settings over into a new
// per-user file; call once, before any read.
void InitIniPath();

// Characters a value may have: numbers, and lists of program names, which
// the profile calls can hold as long as any line.
constexpr std::size_t kReadBufferChars = 1024;
constexpr std::size_t kLongReadBufferChars = 32768;

// The value stored under section/key of file, or fallback when the file,
// section or key is missing. Values longer than the read buffer are cut.
std::wstring GetIni(const std::wstring& section, const std::wstring& key,
                    const std::wstring& fallback, const std::wstring& file,
                    std::size_t bufferChars = kReadBufferChars);

// Makes file, when missing, one the writes keep in Unicode: in the ANSI
// code page a program name in another script would be lost.
void CreateIni(const std::wstring& file);

// Replaces the key's value in place, or appends it (and its section);
// everything else in the file is kept.
bool WriteIni(const std::wstring& section, const std::wstring& key, const std::wstring& value,
              const std::wstring& file);

// The key code stored under section/key of file, as ToInt32 reads it, or
// fallback. Of codes 1 and 2, the primary and secondary mouse buttons, only
// button may be stored (0: neither); another is refused with one trace
// line: as the on/off key it would switch with each click, as the other
// click key its own clicks would open context menus under it.
std::int32_t GetKeyCode(const std::wstring& section, const std::wstring& key, std::int32_t fallback,
                        std::int32_t button, const std::wstring& file);

// A stored value as a signed 32-bit decimal integer (optional sign, digits
// only); anything else, out-of-range values included, gives fallback.
std::int32_t ToInt32(const std::wstring& text, std::int32_t fallback);

std::wstring ToDecimal(std::int64_t value);

}  // namespace GTIni

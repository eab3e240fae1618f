#pragma once

#include <cstdint>
#include <string>

// The settings file and where it may live: profile files, the program's own
// path, write access, the user's folders.
namespace os {

// Fills a buffer of bufferChars characters the way GetPrivateProfileString
// does (default for a missing file, section or key; at most bufferChars - 1
// characters then a NUL) and returns the whole buffer, prefilled with spaces.
std::wstring ReadProfileValue(const std::wstring& section, const std::wstring& key,
                              const std::wstring& fallback, const std::wstring& file,
                              std::size_t bufferChars);
bool WriteProfileValue(const std::wstring& section, const std::wstring& key,
                       const std::wstring& value, const std::wstring& file);
// Full path of the running executable, as it was started.
std::wstring ModulePath();
// The path of the file at path with every 8.3 name, link and substituted
// drive resolved, in \\?\ form; empty when the system cannot tell.
std::wstring FinalPath(const std::wstring& path);

enum class Access : std::uint8_t {
  Granted,
  Missing,  // no such file
  Denied,   // refused: access denied or write-protected media
  Busy,     // held by another program for now
  Failed,   // any other failure
};
// Whether file can be opened for writing now; nothing is changed.
Access FileWriteAccess(const std::wstring& file);
// Whether a new file can be created in folder, probed with a temporary file
// that is gone again at once.
Access FolderWriteAccess(const std::wstring& folder);
// What the same user's unelevated token may write to file (or add to
// folder), by the security the path carries; for the elevated half of an
// administrator's token only, and a local volume. A volume without security
// grants it.
Access UnelevatedWriteAccess(const std::wstring& path, bool folder);
// Whether the drive path lies on is a network one (a mapped share).
bool OnNetworkDrive(const std::wstring& path);
enum class KnownFolder : std::uint8_t { RoamingAppData, LocalAppData };
// The user's folder without a trailing separator; empty when unknown.
std::wstring KnownFolderPath(KnownFolder folder);
// True when folder exists afterwards.
bool CreateFolder(const std::wstring& folder);
// Copies from to a new file to; fails when to exists.
bool CopyNewFile(const std::wstring& from, const std::wstring& to);
// Makes a new file holding only UTF-16's byte-order mark, which the profile
// calls then write as Unicode rather than in the ANSI code page; fails when
// file exists.
bool CreateUnicodeFile(const std::wstring& file);

}  // namespace os

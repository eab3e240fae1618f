#include "engine/GTIni.h"

#include "platform/decimal.h"
#include "platform/os_elevation.h"
#include "platform/os_files.h"
#include "platform/os_trace.h"

namespace GTIni {

std::wstring AppDir;
std::wstring IniPath;

namespace {

// A share's security names the server's groups and leaves out the share's
// own permissions, and both tokens reach it as the same user: there the
// probe alone tells.
bool OnRemoteVolume(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return true;
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' &&
      path[2] != L'.') {
    return true;
  }
  return os::OnNetworkDrive(path);
}

// An elevated copy also asks what the same user's unelevated token may
// write, so that it keeps the settings where a normal copy from this folder
// does: one file for both kinds of copy.
os::Access WriteAccess(const std::wstring& path, bool folder, bool elevated) {
  const os::Access probed = folder ? os::FolderWriteAccess(path) : os::FileWriteAccess(path);
  if (probed != os::Access::Granted || !elevated || OnRemoteVolume(path)) return probed;
  return os::UnelevatedWriteAccess(path, folder);
}

bool StaysBeside(const std::wstring& folder, const std::wstring& file) {
  // Only a split token has an unelevated half to ask.
  const bool elevated = os::OwnElevation().type == os::ElevationType::Full;
  switch (WriteAccess(file, false, elevated)) {
    case os::Access::Granted:
    case os::Access::Busy:  // a moment's hold by another program is no reason to move
      return true;
    case os::Access::Missing:
    case os::Access::Denied:
    case os::Access::Failed:
      break;
  }
  // A read-only file in a folder that takes writes is the user's way of
  // freezing the settings: it stays where it is.
  const os::Access access = WriteAccess(folder, true, elevated);
  // Out of reach (gone, a share the elevated logon session has no mapping
  // or credentials for): a normal copy may still reach it, but an elevated
  // one would run on defaults and lose its writes.
  if (elevated && (access == os::Access::Missing || access == os::Access::Failed)) return false;
  return access != os::Access::Denied;
}

// Where settings written by a program without a manifest went on Vista and
// later: the per-user VirtualStore mirror of the file's path.
std::wstring VirtualStoreCopy(const std::wstring& file) {
  if (file.size() < 3 || file[1] != L':' || file[2] != L'\\') return std::wstring();
  const std::wstring local = os::KnownFolderPath(os::KnownFolder::LocalAppData);
  if (local.empty()) return std::wstring();
  return local + L"\\VirtualStore" + file.substr(2);
}

}  // namespace

std::wstring PlainPath(const std::wstring& path) {
  constexpr std::size_t kMaxPath = 260;
  const std::wstring unc = L"\\\\?\\UNC\\";
  const std::wstring local = L"\\\\?\\";
  std::wstring plain = path;
  if (path.compare(0, unc.size(), unc) == 0) {
    plain = L"\\\\" + path.substr(unc.size());
  } else if (path.compare(0, local.size(), local) == 0) {
    plain = path.substr(local.size());
  }
  return plain.size() < kMaxPath ? plain : path;
}

std::wstring ProgramPath() {
  const std::wstring module = os::ModulePath();
  const std::wstring final = os::FinalPath(module);
  return PlainPath(final.empty() ? module : final);
}

void InitIniPath() {
  const std::wstring exe = ProgramPath();
  const auto sep = exe.find_last_of(L"\\/");
  // Keeping the separator gives "C:\" for a drive root and "C:\dir\" otherwise.
  AppDir = sep == std::wstring::npos ? std::wstring() : exe.substr(0, sep + 1);
  IniPath = AppDir + L"config.ini";
  if (StaysBeside(AppDir, IniPath)) return;

  const std::wstring roaming = os::KnownFolderPath(os::KnownFolder::RoamingAppData);
  if (roaming.empty()) {
    os::Trace("settings: no per-user folder, kept in ", IniPath);
    return;
  }
  const std::wstring folder = roaming + L"\\Yorisen";
  if (!os::CreateFolder(folder)) os::Trace("settings: cannot create ", folder);
  const std::wstring beside = IniPath;
  IniPath = folder + L"\\config.ini";
  std::wstring line = IniPath;
  if (os::FileWriteAccess(IniPath) == os::Access::Missing) {
    for (const std::wstring& source : {VirtualStoreCopy(beside), beside}) {
      if (source.empty() || os::FileWriteAccess(source) == os::Access::Missing) continue;
      line += os::CopyNewFile(source, IniPath) ? L", carried over from " : L", cannot copy ";
      line += source;
      break;
    }
  }
  os::Trace("settings: the program folder refuses writes, using ", line);
}

std::wstring GetIni(const std::wstring& section, const std::wstring& key,
                    const std::wstring& fallback, const std::wstring& file,
                    std::size_t bufferChars) {
  const std::wstring buffer = os::ReadProfileValue(section, key, fallback, file, bufferChars);
  const auto nul = buffer.find(L'\0');
  return nul == std::wstring::npos ? std::wstring() : buffer.substr(0, nul);
}

void CreateIni(const std::wstring& file) {
  // Fails, as it should, when the file is there.
  os::CreateUnicodeFile(file);
}

bool WriteIni(const std::wstring& section, const std::wstring& key, const std::wstring& value,
              const std::wstring& file) {
  return os::WriteProfileValue(section, key, value, file);
}

std::int32_t GetKeyCode(const std::wstring& section, const std::wstring& key, std::int32_t fallback,
                        std::int32_t button, const std::wstring& file) {
  const std::wstring fallbackText = ToDecimal(fallback);
  const std::int32_t code = ToInt32(GetIni(section, key, fallbackText, file), fallback);
  if ((code != 1 && code != 2) || code == button) return code;
  os::Trace("settings: ",
            key + L"=" + ToDecimal(code) + L" is a mouse button, using " + fallbackText);
  return fallback;
}

std::int32_t ToInt32(const std::wstring& text, std::int32_t fallback) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
    negative = text[i] == L'-';
    ++i;
  }
  if (i == text.size()) return fallback;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c < L'0' || c > L'9') return fallback;
    value = value * 10 + (c - L'0');
    if (value > 2147483648LL) return fallback;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return fallback;
  return static_cast<std::int32_t>(value);
}

std::wstring ToDecimal(std::int64_t value) { return platform::Decimal(value); }

}  // namespace GTIni

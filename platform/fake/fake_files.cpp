#include <algorithm>
#include <cwctype>

#include "platform/fake/fake_platform.h"

namespace fake {

namespace {

bool SameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
         });
}

}  // namespace

std::wstring FileText(const std::wstring& file) {
  std::wstring text;
  const auto it = Get().files.find(file);
  if (it == Get().files.end()) return text;
  for (const IniSection& section : it->second) {
    text += L"[" + section.name + L"]\r\n";
    for (const auto& [key, value] : section.entries) text += key + L"=" + value + L"\r\n";
  }
  return text;
}

}  // namespace fake

namespace os {

std::wstring ReadProfileValue(const std::wstring& section, const std::wstring& key,
                              const std::wstring& fallback, const std::wstring& file,
                              std::size_t bufferChars) {
  fake::Get().reads.push_back(section + L"/" + key);
  std::wstring value = fallback;
  const auto& files = fake::Get().files;
  if (const auto f = files.find(file); f != files.end()) {
    for (const fake::IniSection& s : f->second) {
      if (!fake::SameText(s.name, section)) continue;
      for (const auto& [k, v] : s.entries) {
        if (fake::SameText(k, key)) {
          value = v;
          break;
        }
      }
      break;
    }
  }
  std::wstring buffer(bufferChars, L' ');
  if (bufferChars == 0) return buffer;
  const std::size_t n = std::min(value.size(), bufferChars - 1);
  std::copy_n(value.begin(), n, buffer.begin());
  buffer[n] = L'\0';
  return buffer;
}

bool WriteProfileValue(const std::wstring& section, const std::wstring& key,
                       const std::wstring& value, const std::wstring& file) {
  fake::State& s = fake::Get();
  s.writes.push_back(section + L"/" + key + L"=" + value);
  if (s.writesFail) return false;
  if (const auto a = s.access.find(file);
      a != s.access.end() && a->second != os::Access::Granted && a->second != os::Access::Missing)
    return false;
  fake::IniFile& ini = s.files[file];
  auto sec = std::find_if(ini.begin(), ini.end(), [&](const fake::IniSection& x) {
    return fake::SameText(x.name, section);
  });
  if (sec == ini.end()) {
    ini.push_back({section, {}});
    sec = ini.end() - 1;
  }
  for (auto& [k, v] : sec->entries) {
    if (fake::SameText(k, key)) {
      v = value;
      return true;
    }
  }
  sec->entries.emplace_back(key, value);
  return true;
}

std::wstring ModulePath() { return fake::Get().modulePath; }

std::wstring FinalPath(const std::wstring& path) {
  const auto& finals = fake::Get().finalPaths;
  const auto it = finals.find(path);
  return it == finals.end() ? path : it->second;
}

Access FileWriteAccess(const std::wstring& file) {
  const fake::State& s = fake::Get();
  if (const auto it = s.access.find(file); it != s.access.end()) return it->second;
  return s.files.count(file) != 0 ? Access::Granted : Access::Missing;
}

Access FolderWriteAccess(const std::wstring& folder) {
  const fake::State& s = fake::Get();
  const auto it = s.access.find(folder);
  return it == s.access.end() ? Access::Granted : it->second;
}

Access UnelevatedWriteAccess(const std::wstring& path, bool folder) {
  const fake::State& s = fake::Get();
  if (const auto it = s.unelevatedAccess.find(path); it != s.unelevatedAccess.end())
    return it->second;
  return folder || s.files.count(path) != 0 ? Access::Granted : Access::Missing;
}

bool OnNetworkDrive(const std::wstring& path) {
  return fake::Get().networkDrives.count(path.substr(0, 3)) != 0;
}

std::wstring KnownFolderPath(KnownFolder folder) {
  return folder == KnownFolder::RoamingAppData ? fake::Get().roamingAppData
                                               : fake::Get().localAppData;
}

bool CreateFolder(const std::wstring& folder) {
  fake::Get().createdFolders.push_back(folder);
  return true;
}

bool CopyNewFile(const std::wstring& from, const std::wstring& to) {
  fake::State& s = fake::Get();
  s.copies.push_back(from + L">" + to);
  const auto source = s.files.find(from);
  if (source == s.files.end() || s.files.count(to) != 0) return false;
  s.files[to] = source->second;
  return true;
}

bool CreateUnicodeFile(const std::wstring& file) {
  fake::State& s = fake::Get();
  if (s.files.count(file) != 0 || s.writesFail) return false;
  s.files[file];
  s.unicodeFiles.insert(file);
  return true;
}

}  // namespace os

#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/os_files.h"

namespace fake {

struct IniSection {
  std::wstring name;
  std::vector<std::pair<std::wstring, std::wstring>> entries;
};
using IniFile = std::vector<IniSection>;

struct FilesState {
  std::wstring modulePath = L"C:\\Tools\\Yorisen\\yorisen.exe";
  // What FinalPath answers by path; unlisted paths come back as they are.
  std::map<std::wstring, std::wstring> finalPaths;
  std::map<std::wstring, IniFile> files;
  std::vector<std::wstring> reads;   // "section/key" in call order
  std::vector<std::wstring> writes;  // "section/key=value" in call order
  bool writesFail = false;
  // Write access by file or folder; files default to Granted when they
  // exist and Missing when not, folders to Granted.
  std::map<std::wstring, os::Access> access;
  // What the user's unelevated token may write, by path; defaults as above.
  std::map<std::wstring, os::Access> unelevatedAccess;
  std::set<std::wstring> networkDrives;  // roots: "Z:\"
  std::wstring roamingAppData = L"C:\\Users\\me\\AppData\\Roaming";
  std::wstring localAppData = L"C:\\Users\\me\\AppData\\Local";
  std::vector<std::wstring> createdFolders;
  std::vector<std::wstring> copies;     // "from>to"
  std::set<std::wstring> unicodeFiles;  // made by CreateUnicodeFile
};

// Reads the fake file back as INI text.
std::wstring FileText(const std::wstring& file);

}  // namespace fake

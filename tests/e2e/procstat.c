/*
 * Test-only: prints resource counts of every running process with the given
 * exe name, one line each:
 *     <pid> gdi=<n> user=<n> handles=<n> syshandles=<n> windows=<n> private=<bytes> ws=<bytes>
 *     elevation=<default|full|limited|unknown>
 * Used by the soak run to see whether the tool leaks over time. Wine answers
 * 0 for GetGuiResources, GetProcessHandleCount and PrivateUsage, so the
 * kernel handles are also counted from the system handle table, and the
 * windows (top-level and child) by enumeration.
 */
#include <windows.h>
// Needs windows.h first.
#include <psapi.h>
#include <stdio.h>
#include <tlhelp32.h>

typedef struct {
  ULONG OwnerPid;
  BYTE ObjectType;
  BYTE Flags;
  USHORT Value;
  PVOID Object;
  ACCESS_MASK Access;
} HandleEntry;

typedef struct {
  ULONG Count;
  HandleEntry Handles[1];
} HandleTable;

typedef LONG(WINAPI* QuerySystemInformationFn)(ULONG, PVOID, ULONG, PULONG);

static unsigned long SystemHandles(DWORD pid) {
  QuerySystemInformationFn query = (QuerySystemInformationFn)(void (*)(void))GetProcAddress(
      GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
  if (query == NULL) return 0;
  ULONG size = 1 << 16;
  for (int attempt = 0; attempt < 12; ++attempt, size *= 2) {
    HandleTable* table = (HandleTable*)HeapAlloc(GetProcessHeap(), 0, size);
    if (table == NULL) return 0;
    ULONG needed = 0;
    LONG status = query(16 /* SystemHandleInformation */, table, size, &needed);
    if (status == 0) {
      unsigned long n = 0;
      for (ULONG i = 0; i < table->Count; ++i) n += table->Handles[i].OwnerPid == pid;
      HeapFree(GetProcessHeap(), 0, table);
      return n;
    }
    HeapFree(GetProcessHeap(), 0, table);
  }
  return 0;
}

typedef struct {
  DWORD pid;
  unsigned long count;
} WindowCount;

static BOOL CALLBACK CountChild(HWND window, LPARAM data) {
  (void)window;
  ++((WindowCount*)data)->count;
  return TRUE;
}

static const char* ElevationType(HANDLE process) {
  HANDLE token = NULL;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  const char* name = "unknown";
  if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
    if (GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size)) {
      name = type == TokenElevationTypeFull      ? "full"
             : type == TokenElevationTypeLimited ? "limited"
                                                 : "default";
    }
    CloseHandle(token);
  }
  return name;
}

static BOOL CALLBACK CountTopLevel(HWND window, LPARAM data) {
  WindowCount* counter = (WindowCount*)data;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == counter->pid) {
    ++counter->count;
    EnumChildWindows(window, CountChild, data);
  }
  return TRUE;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  int found = 0;
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
    if (_wcsicmp(entry.szExeFile, argv[1]) != 0) continue;
    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
    if (process == NULL) continue;
    PROCESS_MEMORY_COUNTERS_EX memory;
    ZeroMemory(&memory, sizeof memory);
    GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&memory, sizeof memory);
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    WindowCount windows;
    windows.pid = entry.th32ProcessID;
    windows.count = 0;
    EnumWindows(CountTopLevel, (LPARAM)&windows);
    printf(
        "%lu gdi=%lu user=%lu handles=%lu syshandles=%lu windows=%lu private=%llu ws=%llu "
        "elevation=%s\n",
        (unsigned long)entry.th32ProcessID, (unsigned long)GetGuiResources(process, GR_GDIOBJECTS),
        (unsigned long)GetGuiResources(process, GR_USEROBJECTS), (unsigned long)handles,
        SystemHandles(entry.th32ProcessID), windows.count, (unsigned long long)memory.PrivateUsage,
        (unsigned long long)memory.WorkingSetSize, ElevationType(process));
    CloseHandle(process);
    ++found;
  }
  CloseHandle(snap);
  fflush(stdout);
  return found > 0 ? 0 : 1;
}

/*
 * Test-only: starts a program with the unelevated (Limited) half of this
 * process's token, as Windows starts an administrator's programs, waits for
 * it and exits with its exit code. Wine 8 starts every process elevated
 * (Full) and keeps the Limited half linked.
 *     limited.exe <exe> [command line for it]
 */
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  HANDLE own = NULL, primary = NULL;
  TOKEN_LINKED_TOKEN linked = {0};
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) ||
      !GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size) ||
      !DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, NULL, SecurityImpersonation,
                        TokenPrimary, &primary)) {
    return 3;
  }
  wchar_t* line = GetCommandLineW();
  // The child's command line: this one without its own first argument.
  wchar_t* rest = wcsstr(line, argv[1]);
  if (rest != NULL && rest > line && rest[-1] == L'"') --rest;
  STARTUPINFOW start;
  ZeroMemory(&start, sizeof start);
  start.cb = sizeof start;
  PROCESS_INFORMATION child;
  if (rest == NULL || !CreateProcessAsUserW(primary, argv[1], rest, NULL, NULL, FALSE, 0, NULL,
                                            NULL, &start, &child)) {
    return 4;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(child.hProcess, &code);
  return (int)code;
}

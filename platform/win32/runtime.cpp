// The few C++ runtime pieces the product exe needs, built without exceptions
// or RTTI. The library's own versions throw, and a throw pulls the unwinder,
// the terminate handler and its name demangler into the exe: some 140 KB
// for failures the tool cannot recover from anyway. Here each failure
// leaves one trace line and ends the process, quietly like any other failure.
// Linked into the product exes only; the tests keep the library's versions.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace {

[[noreturn]] void Fail(const wchar_t* line) {
  OutputDebugStringW(line);
  // Not abort(): the C runtime may show a dialog for it.
  TerminateProcess(GetCurrentProcess(), 3);
  __builtin_unreachable();
}

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) Fail(L"yorisen: out of memory\n");
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace std {

// What the library would throw for a broken invariant or a size past reach.
void __throw_bad_alloc() { Fail(L"yorisen: out of memory\n"); }
void __throw_bad_array_new_length() { Fail(L"yorisen: out of memory\n"); }
void __throw_length_error(const char*) { Fail(L"yorisen: length error\n"); }
void __throw_logic_error(const char*) { Fail(L"yorisen: logic error\n"); }
void __throw_out_of_range(const char*) { Fail(L"yorisen: out of range\n"); }
void __throw_out_of_range_fmt(const char*, ...) { Fail(L"yorisen: out of range\n"); }
void __throw_invalid_argument(const char*) { Fail(L"yorisen: invalid argument\n"); }
void __throw_runtime_error(const char*) { Fail(L"yorisen: runtime error\n"); }
void __throw_system_error(int) { Fail(L"yorisen: system error\n"); }
void __throw_bad_function_call() { Fail(L"yorisen: empty function called\n"); }

// Without RTTI, shared_ptr asks this whether a type tag is make_shared's own.
bool _Sp_make_shared_tag::_S_eq(const type_info& info) noexcept { return &info == &_S_ti(); }

}  // namespace std

#if defined(_GLIBCXX_RELEASE) && _GLIBCXX_RELEASE >= 13
// From GCC 13, basic_string's rare overlapping-replace path is declared an
// extern template even in C++20, so the linker takes it from the library's
// wstring instantiation, which brings the exception machinery and the
// demangler along (115 KB on x64, 160 KB on i686). Instantiated here, it
// stays ours.
template void std::wstring::_M_replace_cold(wchar_t*, size_type, const wchar_t*, size_type,
                                            size_type);
#endif

// Called from the slot of a pure virtual function, should an abstract class's
// table survive the link. The runtime's name is reserved, hence:
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" void __cxa_pure_virtual() { Fail(L"yorisen: pure virtual call\n"); }

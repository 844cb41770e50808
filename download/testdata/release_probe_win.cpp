// Test helper for the hold on the checked setup program (under Wine):
//   release_probe.exe swap <target> <replacement>
//     a second process of the same user trying to replace <target> with the
//     bytes of <replacement> every way it can: writing into it, deleting it,
//     renaming it away, renaming or copying another file over it, and
//     ReplaceFileW. Prints one line per way; the exit code is the number of
//     ways that worked (0: the file could not be touched).
//   release_probe.exe report <out file>
//     as the started setup program: writes its own image path and the MD5 of
//     that file's bytes to <out file>, so the test sees which program ran.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/md5.h"
#include "base/testing/whole_file_win.h"
#include "base/text_convert.h"

namespace {

using pelmar::testing::ReadWholeFile;

int Swap(const std::wstring& target, const std::wstring& replacement) {
  const std::string evil = ReadWholeFile(replacement);
  int worked = 0;
  auto say = [&](const char* way, bool ok) {
    std::printf("%s: %s\n", way, ok ? "WORKED" : "refused");
    worked += ok ? 1 : 0;
  };
  {
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    DWORD put = 0;
    const bool ok = h != INVALID_HANDLE_VALUE &&
                    WriteFile(h, evil.data(), static_cast<DWORD>(evil.size()), &put, nullptr) &&
                    put == evil.size();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    say("write into it", ok);
  }
  {
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           TRUNCATE_EXISTING, 0, nullptr);
    say("truncate it", h != INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  say("copy another file over it", CopyFileW(replacement.c_str(), target.c_str(), FALSE) != FALSE);
  const std::wstring aside = replacement + L".copy";
  CopyFileW(replacement.c_str(), aside.c_str(), FALSE);
  say("rename another file over it",
      MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE);
  const std::wstring away = target + L".away";
  const bool moved = MoveFileExW(target.c_str(), away.c_str(), 0) != FALSE;
  say("rename it away", moved);
  if (moved) MoveFileExW(away.c_str(), target.c_str(), 0);
  CopyFileW(replacement.c_str(), aside.c_str(), FALSE);
  say("ReplaceFileW",
      ReplaceFileW(target.c_str(), aside.c_str(), nullptr, 0, nullptr, nullptr) != FALSE);
  DeleteFileW(aside.c_str());
  say("delete it", DeleteFileW(target.c_str()) != FALSE);
  return worked;
}

int Report(const std::wstring& out) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::string line =
      pelmar::Utf8FromWide(self) + "\n" + pelmar::Md5Text(ReadWholeFile(self)) + "\n";
  HANDLE h = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 2;
  DWORD put = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
  CloseHandle(h);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"swap" && argc == 4) return Swap(argv[2], argv[3]);
  if (mode == L"report" && argc == 3) return Report(argv[2]);
  std::fprintf(stderr, "usage: release_probe swap <target> <replacement> | report <out>\n");
  return 100;
}

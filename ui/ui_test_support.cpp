#include "ui/ui_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

#include "base/testing/wait_until.h"
#include "base/text_convert.h"
#include "base/win/gdiplus_include.h"

namespace pelmar {
namespace test {

std::vector<std::string> ErrorTexts(const RecordingEventSink& events) {
  std::vector<std::string> texts;
  for (const RecordedEvent& e : events.EventsNamed("vResourceError")) {
    auto it = e.strings.find("error_status");
    texts.push_back(it == e.strings.end() ? "<none>" : it->second);
  }
  return texts;
}

namespace {
void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
}  // namespace

std::string MakeStoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out, central;
  for (const auto& [name, data] : entries) {
    const uint32_t crc =
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    const uint32_t offset = static_cast<uint32_t>(out.size());
    Put32(out, 0x04034b50);
    Put16(out, 10);    // version needed
    Put16(out, 0);     // flags
    Put16(out, 0);     // stored
    Put16(out, 0);     // time
    Put16(out, 0x21);  // date 1980-01-01
    Put32(out, crc);
    Put32(out, static_cast<uint32_t>(data.size()));
    Put32(out, static_cast<uint32_t>(data.size()));
    Put16(out, static_cast<uint32_t>(name.size()));
    Put16(out, 0);
    out += name;
    out += data;

    Put32(central, 0x02014b50);
    Put16(central, 20);
    Put16(central, 10);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0x21);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(data.size()));
    Put32(central, static_cast<uint32_t>(data.size()));
    Put16(central, static_cast<uint32_t>(name.size()));
    Put16(central, 0);  // extra
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes
    Put32(central, offset);
    central += name;
  }
  const uint32_t centralOffset = static_cast<uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstringstream name;
  name << temp << L"pelmar_ui_" << GetCurrentProcessId() << L"_" << counter++;
  path_ = name.str();
  RemoveTree(path_);
  CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream f(path.c_str(), std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream f(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool FileExists(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> ListFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(folder.c_str());
}

Dib::Dib(int width, int height, uint32_t background) : width_(width), height_(height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 is the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  dc_ = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bits_ = static_cast<uint32_t*>(bits);
  old_ = SelectObject(dc_, bitmap_);
  std::fill(bits_, bits_ + static_cast<std::size_t>(width) * height, background);
}

Dib::~Dib() {
  SelectObject(dc_, old_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

uint32_t Dib::Pixel(int x, int y) const {
  GdiFlush();
  return bits_[static_cast<std::size_t>(y) * width_ + x];
}

int Dib::CountOther(int left, int top, int right, int bottom, uint32_t colour) const {
  GdiFlush();
  int count = 0;
  for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y) {
    for (int x = std::max(left, 0); x < std::min(right, width_); ++x) {
      if (bits_[static_cast<std::size_t>(y) * width_ + x] != colour) ++count;
    }
  }
  return count;
}

bool Dib::SavePng(const std::wstring& path) const {
  GdiFlush();
  UINT count = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<char> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  const CLSID* png = nullptr;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(codecs[i].MimeType) == L"image/png") png = &codecs[i].Clsid;
  }
  if (!png) return false;
  Gdiplus::Bitmap bitmap(width_, height_, width_ * 4, PixelFormat32bppARGB,
                         reinterpret_cast<BYTE*>(bits_));
  return bitmap.Save(path.c_str(), png, nullptr) == Gdiplus::Ok;
}

bool RunUnixCommand(const std::string& shellCommand, int timeoutMs) {
  static std::atomic<int> counter{0};
  std::ostringstream marker;
  marker << "/tmp/pelmar_ui_cmd_" << GetCurrentProcessId() << "_" << counter++;
  const std::string markerPath = marker.str();
  const std::wstring markerWide = L"Z:" + WideFromUtf8(markerPath);
  DeleteFileW(markerWide.c_str());
  // The command's status goes into the marker so that a failure is visible.
  std::string script = shellCommand + "; echo $? > " + markerPath;
  std::wstring command = L"/bin/sh -c \"" + WideFromUtf8(script) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  if (pi.hProcess) CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  // Keeps this thread's windows answering while the tool works on them.
  std::string status;
  const bool ended = PumpUntil(
      [&] {
        status = ReadFileBytes(markerWide);
        return !status.empty() && status.back() == '\n';
      },
      timeoutMs);
  if (!ended) return false;
  DeleteFileW(markerWide.c_str());
  return status == "0\n";
}

void PumpPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  return pelmar::testing::WaitUntil(done, std::chrono::milliseconds(timeoutMs),
                                    PumpPendingMessages);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  return pelmar::testing::WaitUntil(done, std::chrono::milliseconds(timeoutMs));
}

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path);
  return s.substr(0, s.find_last_of(L"\\/"));
}

}  // namespace test
}  // namespace pelmar

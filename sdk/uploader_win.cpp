// Vek.exe: delivers the spool of the folder it sits in to the collector, one
// batch per POST, removing only what the collector acknowledged, and ends
// when the spool is empty or the collector cannot take more this time.
//   Vek.exe <host> <port> <sensor path> <application id>
// Exit codes: 0 spool delivered, 2 another uploader serves the folder,
// 3 collector unreachable or refusing (records kept), 4 bad arguments or
// spool not readable.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "sdk/http_text.h"
#include "sdk/spool_batch.h"
#include "sdk/spool_file.h"

using namespace pelmar::vek;

namespace {

// A slow collector costs at most this per step; records wait for a later run.
constexpr DWORD kConnectTimeoutMs = 10000;
constexpr DWORD kIoTimeoutMs = 20000;
// A run delivers at most this many batches (bounded even if records keep coming).
constexpr int kMaxBatchesPerRun = 500;
// One batch's whole exchange ends within this, however the collector paces
// its bytes: the per-step limits alone would let a collector that sends a
// byte every few seconds hold the uploader, and its running lock, for hours
// while the spool grows. What is not delivered stays spooled for a later run.
constexpr DWORD kBatchDeadlineMs = 30000;

// Milliseconds left of a deadline that began at `start` (GetTickCount, which
// wraps after 49 days: the unsigned difference stays right across the wrap).
DWORD Remaining(DWORD start, DWORD deadlineMs) {
  const DWORD elapsed = GetTickCount() - start;
  return elapsed >= deadlineMs ? 0 : deadlineMs - elapsed;
}

std::string Utf8FromWide(const wchar_t* s) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(n - 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, -1, &out[0], n, nullptr, nullptr);
  return out;
}

class Socket {
 public:
  Socket() : s_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET get() const { return s_; }

 private:
  SOCKET s_;
};

bool WaitSocket(SOCKET s, bool forWrite, DWORD timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set error;
  FD_ZERO(&error);
  FD_SET(s, &error);
  timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
  const int r = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &error, &tv);
  return r > 0 && FD_ISSET(s, &set) && !FD_ISSET(s, &error);
}

bool Resolve(const std::string& host, in_addr* out) {
  const unsigned long numeric = inet_addr(host.c_str());
  if (numeric != INADDR_NONE) {
    out->s_addr = numeric;
    return true;
  }
  const hostent* entry = gethostbyname(host.c_str());
  if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0])
    return false;
  std::memcpy(out, entry->h_addr_list[0], sizeof *out);
  return true;
}

// One request, the whole answer read until the server closes, all within
// kBatchDeadlineMs.
bool Exchange(const std::string& host, int port, const std::string& request,
              std::string* response) {
  const DWORD start = GetTickCount();
  // Each wait is its step's limit, or what is left of the batch's deadline.
  const auto wait = [start](SOCKET s, bool forWrite, DWORD stepMs) {
    const DWORD left = Remaining(start, kBatchDeadlineMs);
    return left > 0 && WaitSocket(s, forWrite, std::min(stepMs, left));
  };
  in_addr address{};
  if (!Resolve(host, &address)) return false;
  Socket sock;
  if (sock.get() == INVALID_SOCKET) return false;
  u_long nonBlocking = 1;
  ioctlsocket(sock.get(), FIONBIO, &nonBlocking);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(port));
  to.sin_addr = address;
  if (connect(sock.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK)
    return false;
  if (!wait(sock.get(), true, kConnectTimeoutMs)) return false;
  int soError = 0;
  int len = sizeof soError;
  if (getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0 ||
      soError != 0)
    return false;
  size_t sent = 0;
  // Bounded: each turn sends at least one byte or fails.
  while (sent < request.size()) {
    if (!wait(sock.get(), true, kIoTimeoutMs)) return false;
    const int n = send(sock.get(), request.data() + sent,
                       static_cast<int>(std::min<size_t>(request.size() - sent, 65536)), 0);
    if (n <= 0) {
      if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  response->clear();
  char buffer[4096];
  // Bounded by kMaxAckResponse and the I/O timeout.
  for (;;) {
    if (!wait(sock.get(), false, kIoTimeoutMs)) return false;
    const int n = recv(sock.get(), buffer, sizeof buffer, 0);
    if (n == 0) return true;
    if (n < 0) {
      if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
      // A reset after a complete answer still counts as the answer.
      return !response->empty();
    }
    response->append(buffer, static_cast<size_t>(n));
    if (response->size() > kMaxAckResponse) return false;
  }
}

struct Args {
  std::string host, sensorPath, appId;
  int port = 0;
  std::wstring folder;
};

bool ParseArgs(Args* args) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return false;
  struct Freer {
    void operator()(wchar_t** p) const { LocalFree(p); }
  };
  std::unique_ptr<wchar_t*, Freer> owner(argv);
  if (argc != 5) return false;
  args->host = Utf8FromWide(argv[1]);
  args->port = _wtoi(argv[2]);
  args->sensorPath = Utf8FromWide(argv[3]);
  args->appId = Utf8FromWide(argv[4]);
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return false;
  args->folder.assign(path, n);
  const size_t slash = args->folder.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return false;
  args->folder.resize(slash + 1);
  return !args->host.empty() && args->port > 0 && args->port < 65536 && !args->sensorPath.empty() &&
         args->sensorPath[0] == '/';
}

int Run() {
  Args args;
  if (!ParseArgs(&args)) return 4;
  HANDLE running = CreateMutexW(nullptr, TRUE, UploaderMutexName(args.folder).c_str());
  if (!running) return 4;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(running);
    return 2;
  }
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    CloseHandle(running);
    return 3;
  }
  CSpoolFile spool(args.folder);
  int result = 3;
  for (int turn = 0; turn < kMaxBatchesPerRun; ++turn) {
    std::string content;
    if (!spool.Lock()) {
      result = 4;
      break;
    }
    if (!spool.ReadAll(&content)) {
      spool.Unlock();
      result = 4;
      break;
    }
    const SpoolBatch batch = TakeSpoolBatch(content);
    if (batch.scannedBytes == 0) {
      // Nothing complete left: give up the uploader role while still holding
      // the spool lock, so a writer that appends next starts a new uploader.
      CloseHandle(running);
      running = nullptr;
      spool.Unlock();
      result = 0;
      break;
    }
    spool.Unlock();

    size_t accepted = 0;
    if (batch.lineCount() > 0) {
      std::string response;
      const std::string request =
          BuildUploadRequest(args.host, args.port, args.appId, args.sensorPath, batch.body);
      if (!Exchange(args.host, args.port, request, &response) ||
          !ParseUploadAck(response, &accepted))
        break;  // records stay for a later run
    }
    const size_t consumed = ConsumedSpoolBytes(batch, accepted);
    if (consumed == 0) break;  // the collector took nothing: try another time
    if (!spool.Lock()) break;
    // Only this uploader removes lines and writers only append, so the
    // prefix read above is still the prefix now.
    const bool removed = spool.RemovePrefix(consumed);
    spool.Unlock();
    if (!removed) {
      result = 4;
      break;
    }
  }
  if (running) CloseHandle(running);
  WSACleanup();
  return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    return Run();
  } catch (...) {
    return 4;  // out of memory and the like: the spool stays for the next run
  }
}

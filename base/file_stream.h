#pragma once

#include <cstdint>
#include <string>

namespace pelmar {

// A seekable file with 64-bit positions. Callers test the exact results, so
// the conventions below are part of the contract. Not locked internally: a
// caller that shares one holds its own lock around each seek-and-write pair.
class IPelmarStream {
 public:
  enum Origin { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

  virtual int64_t Tell() = 0;                    // Seek(0, kFromCurrent)
  virtual int64_t SeekTo(int64_t position) = 0;  // Seek(position, kFromStart)
  virtual int64_t GetSize() = 0;                 // -1 when the position cannot be read
  virtual bool SetSize(int64_t size) = 0;        // leaves the position at 0
  // Bytes read; -1 at the end of the file (sets the end flag); 0 for no buffer
  // or no count, and for a failure other than end of file.
  virtual int32_t Read(void* buffer, uint32_t count) = 0;
  virtual int32_t Write(const void* buffer, uint32_t count) = 0;  // -1 on failure
  virtual int64_t Seek(int64_t offset, int origin) = 0;           // -1 on failure
  virtual bool IsEof() = 0;
  virtual void Release() = 0;  // destroys the object
  virtual ~IPelmarStream() = default;
  // Creation, last access and last write time as whole seconds since 1970.
  virtual bool GetTimes(int64_t* creation, int64_t* last_access, int64_t* last_write) = 0;
};

// The operating system's file handle (a HANDLE on Windows, a descriptor natively).
using NativeFile = intptr_t;
inline constexpr NativeFile kNoFile = -1;

// Mode words of OpenFileStream.
inline constexpr uint32_t kModeCreate = 0xFFFF;    // new file (truncates), read and write
inline constexpr uint32_t kModeReadShared = 0x40;  // read; others may read and write
inline constexpr uint32_t kModeReadWriteShared = 0x42;
// Read and write; others may read but never write, rename or delete it.
inline constexpr uint32_t kModeReadWriteOthersRead = 0x22;

// Opens a file for a new CFileStream. Create mode: raises "filename can't be
// empty" or "PelmarFileCreate failed". An invalid mode word (access 3, sharing
// above 4) returns kNoFile without raising. Otherwise raises "PelmarFileOpen
// failed" when the existing file cannot be opened.
NativeFile OpenFileStream(uint32_t mode, const std::wstring& path);

class CFileStream final : public IPelmarStream {
 public:
  explicit CFileStream(NativeFile file) : file_(file) {}
  ~CFileStream() override;
  CFileStream(const CFileStream&) = delete;
  CFileStream& operator=(const CFileStream&) = delete;

  int64_t Tell() override { return Seek(0, kFromCurrent); }
  int64_t SeekTo(int64_t position) override { return Seek(position, kFromStart); }
  int64_t GetSize() override;
  bool SetSize(int64_t size) override;
  int32_t Read(void* buffer, uint32_t count) override;
  int32_t Write(const void* buffer, uint32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  bool IsEof() override { return eof_; }
  void Release() override { delete this; }
  bool GetTimes(int64_t* creation, int64_t* last_access, int64_t* last_write) override;

  bool IsOpen() const;

 private:
  bool TruncateHere();  // platform: ends the file at the current position

  NativeFile file_;
  bool eof_ = false;
};

// Converts Windows file times (100 ns since 1601) to whole seconds since 1970.
int64_t UnixSecondsFromFileTime(uint64_t file_time);

}  // namespace pelmar

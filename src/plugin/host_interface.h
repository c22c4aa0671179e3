// What crosses the boundary between the file manager and the plugin: calling
// convention, records, callbacks, result codes and capability bits. Only the
// record fields the plugin reads or writes are declared; the host's records
// are larger, and their other fields are the host's business.
#pragma once

#include <cstddef>
#include <cstdint>

// The host calls every export with stdcall on 32-bit Windows; elsewhere the
// platform's one C convention applies.
#if defined(_WIN32) && !defined(_WIN64)
#define KZR_API __stdcall
#else
#define KZR_API
#endif

// Marks the exports. The Windows DLL exports by its module-definition file;
// the Linux plugin is compiled with hidden visibility, and only these names
// stay visible. A 32-bit Windows host may call in with the stack aligned to 4
// bytes only, where the code inside keeps it at 16 for its vectors: each
// export aligns it on entry.
#if defined(_WIN32) && !defined(_WIN64)
#define KZR_EXPORT __attribute__((force_align_arg_pointer))
#elif defined(_WIN32)
#define KZR_EXPORT
#else
#define KZR_EXPORT __attribute__((visibility("default")))
#endif

namespace kzr::host {

// Result codes, with the host's values.
enum ResultCode : int {
  kOk = 0,
  kEndArchive = 10,
  kNoMemory = 11,
  kBadData = 12,
  kBadArchive = 13,
  kUnknownFormat = 14,
  kOpenError = 15,
  kCreateError = 16,
  kCloseError = 17,
  kReadError = 18,
  kWriteError = 19,
  kSmallBuffer = 20,
  kAborted = 21,
  kNoFiles = 22,
  kTooManyFiles = 23,
  kNotSupported = 24,
};

// ProcessFile operations. Only extraction and verification do anything.
enum Operation : int {
  kSkip = 0,
  kTest = 1,
  kExtract = 2,
};

// Capability bits reported by GetPackerCaps.
enum Capability : int {
  kCanCreateArchives = 1,
  kCanModifyArchives = 2,
  kHoldsManyFiles = 4,
  kCanDeleteMembers = 8,
  kHasOptionsDialog = 16,
  kRecognisesByContent = 64,
  kMembersSearchable = 128,
};

// PackFiles flags. Only moving is acted on; the other bits are not read.
enum PackFlag : int {
  kMoveFiles = 1,
};

// GetBackgroundFlags: what the host may run in threads of its own.
enum BackgroundFlag : int {
  kUnpackInBackground = 1,
  kPackInBackground = 2,
};

// The host's wide characters: UTF-16.
using WideChar = char16_t;

struct OpenArchiveRecord {
  const char* ArchiveName;  // in: the archive's path
  std::int32_t OpenMode;    // in: not read
  std::int32_t OpenResult;  // out: the result code of the open
};

struct OpenArchiveRecordW {
  const WideChar* ArchiveName;
  std::int32_t OpenMode;
  std::int32_t OpenResult;
};

inline constexpr std::size_t kHeaderNameSize = 260;
inline constexpr std::size_t kHeaderExNameSize = 1024;

struct HeaderRecord {
  char ArchiveName[kHeaderNameSize];  // not written
  char FileName[kHeaderNameSize];     // out: the entry's name, cut to 259 bytes
  std::int32_t Flags;                 // not written
  std::uint32_t PackSize;             // out
  std::uint32_t UnpSize;              // out
  std::int32_t HostOS;                // not written
  std::int32_t FileCRC;               // not written
  std::uint32_t FileTime;             // out: date and time (Windows: PackedTime; Linux: Unix time)
  std::int32_t UnpVer;                // not written
  std::int32_t Method;                // not written
  std::uint32_t FileAttr;             // out: the attributes of a normal file
  char* CmtBuf;                       // not written
  std::int32_t CmtBufSize;            // not written
  std::int32_t CmtSize;               // not written
  std::int32_t CmtState;              // not written
};

// The extended record of ReadHeaderEx and ReadHeaderExW: whole names, sizes
// in two words. Only the fields marked "out" are written: a host on Linux
// declares the record packed, so nothing past FileAttr may be touched.
template <typename Char>
struct HeaderRecordEx {
  Char ArchiveName[kHeaderExNameSize];  // not written
  Char FileName[kHeaderExNameSize];     // out: the entry's name
  std::int32_t Flags;                   // not written
  std::uint32_t PackSize;               // out
  std::uint32_t PackSizeHigh;           // out: 0
  std::uint32_t UnpSize;                // out
  std::uint32_t UnpSizeHigh;            // out: 0
  std::int32_t HostOS;                  // not written
  std::int32_t FileCRC;                 // not written
  std::uint32_t FileTime;               // out
  std::int32_t UnpVer;                  // not written
  std::int32_t Method;                  // not written
  std::uint32_t FileAttr;               // out
  char* CmtBuf;                         // not written
  std::int32_t CmtBufSize;              // not written
  std::int32_t CmtSize;                 // not written
  std::int32_t CmtState;                // not written
  char Reserved[1024];                  // not written
};
using HeaderRecordExA = HeaderRecordEx<char>;
using HeaderRecordExW = HeaderRecordEx<WideChar>;

// What the host tells a packer plugin once it has loaded it.
struct PackDefaultParams {
  std::int32_t size;                        // in: the record's size
  std::uint32_t PluginInterfaceVersionLow;  // in: not read
  std::uint32_t PluginInterfaceVersionHi;   // in: not read
  char DefaultIniName[kHeaderNameSize];     // in: the INI file for the plugin's settings
};

// The open result follows a pointer and an int; the header record's fields
// have the same offsets on both widths.
static_assert(offsetof(OpenArchiveRecord, ArchiveName) == 0);
static_assert(offsetof(OpenArchiveRecord, OpenResult) == (sizeof(void*) == 4 ? 8 : 12));
static_assert(offsetof(HeaderRecord, FileName) == 260);
static_assert(offsetof(HeaderRecord, PackSize) == 524);
static_assert(offsetof(HeaderRecord, UnpSize) == 528);
static_assert(offsetof(HeaderRecord, FileTime) == 540);
static_assert(offsetof(HeaderRecord, FileAttr) == 552);
static_assert(offsetof(PackDefaultParams, DefaultIniName) == 12);
static_assert(offsetof(HeaderRecordExA, FileName) == 1024);
static_assert(offsetof(HeaderRecordExA, PackSize) == 2052);
static_assert(offsetof(HeaderRecordExA, FileAttr) == 2088);
static_assert(offsetof(HeaderRecordExW, FileName) == 2048);
static_assert(offsetof(HeaderRecordExW, PackSize) == 4100);
static_assert(offsetof(HeaderRecordExW, FileAttr) == 4136);

// A progress callback answers 0 when the user asked to stop.
using ProcessDataProc = int(KZR_API*)(char* file_name, int size);
using ProcessDataProcW = int(KZR_API*)(WideChar* file_name, int size);
using ChangeVolProc = int(KZR_API*)(char* archive_name, int mode);
using ChangeVolProcW = int(KZR_API*)(WideChar* archive_name, int mode);

// What the host holds for an open archive: the address of its ArchiveHandle.
using Handle = void*;

// The host's packed date and time, in local time: bits 25-31 the year
// - 1980, 21-24 the month, 16-20 the day, 11-15 the hour, 5-10 the minute,
// 0-4 the seconds / 2.
constexpr std::uint32_t PackedTime(unsigned year, unsigned month, unsigned day, unsigned hour,
                                   unsigned minute, unsigned second) {
  return (year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second / 2;
}

}  // namespace kzr::host

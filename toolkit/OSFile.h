// The thin file layer between the library and the operating system: Win32
// CreateFileA & co. on Windows, POSIX open & co. elsewhere. A handle is valid
// when it is greater than 0; every call reports failure the way the framework's
// file functions do (-1 or false) instead of raising.
#pragma once

#include <cstdint>
#include <string>

using THandle = intptr_t;

// Open-mode word: bits 0-1 access, bits 4-7 sharing.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFFFF;

// Creates (or truncates) the file for reading and writing, not shared.
THandle FileCreate(const std::string &FileName);
// Opens an existing file; an access value above 2 or a sharing value above 4
// fails the open.
THandle FileOpen(const std::string &FileName, uint16_t Mode);
void FileClose(THandle Handle);
// Origin 0 beginning, 1 current, 2 end. Both return -1 on failure.
int64_t FileSeek(THandle Handle, int64_t Offset, int Origin);
int32_t FileSeek32(THandle Handle, int32_t Offset, int Origin);
// Both return the count transferred, or -1 on failure.
int32_t FileRead(THandle Handle, void *Buffer, int32_t Count);
int32_t FileWrite(THandle Handle, const void *Buffer, int32_t Count);
// Sets the end of the file at its current position.
bool FileSetEnd(THandle Handle);
// Asks the system to write its buffers for the file to disk.
bool FileFlush(THandle Handle);

std::string ExpandFileName(const std::string &FileName);
bool FileExists(const std::string &FileName);
bool DirectoryExists(const std::string &DirName);
bool FileDelete(const std::string &FileName);

// The Linux side of a test running under Wine, for conditions the Win32 calls
// cannot make there: Wine ignores the read-only attribute of a folder and
// derives it from the folder's Unix write permission instead. Windows only.
#pragma once

#include <string>

// The Unix name Wine gives a Windows path; empty when not under Wine.
std::string UnixFileName(const std::string &WindowsPath);

// Sets the Unix permission bits of a file or folder (for example "555" for a
// read-only folder) through Wine's start /unix. False when that fails.
bool SetUnixMode(const std::string &WindowsPath, const std::string &Mode);

// A Unix symbolic link at LinkWindowsPath to Target (a Unix path, relative to
// the link's folder or absolute), which Wine lists as a reparse point. False
// when it could not be made.
bool MakeUnixLink(const std::string &Target, const std::string &LinkWindowsPath);

// Removes a file or a link (not what it points to) on the Unix side.
bool RemoveUnixFile(const std::string &WindowsPath);

// Makes a folder read-only (Unix mode 555) and waits until Wine reports the
// read-only attribute: the Unix program runs on its own, so start /wait may
// return before it has finished. False when it does not come.
bool MakeFolderReadOnly(const std::string &WindowsPath);

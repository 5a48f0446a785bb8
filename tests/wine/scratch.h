// Throwaway corners of the Wine machine for one test: a folder and a registry
// key that are removed again, whatever the test left in them.
#pragma once

#include <windows.h>

#include <string>

// A new, empty folder under the temporary folder, ending in a backslash.
std::string MakeScratchFolder();
void DeleteFolderTree(const std::string& folder);

// A new key under HKEY_CURRENT_USER\Software\StillvaneTests; the path is below HKCU.
std::string MakeScratchKeyPath();
void DeleteKeyTree(HKEY parent, const std::string& path);

void WriteWholeFile(const std::string& path, const std::string& contents);
// The file's contents, or "<missing>".
std::string ReadWholeFile(const std::string& path);

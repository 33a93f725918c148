#pragma once
// The application folder holds the scan logs and temporary preview files.
#include <string>

// Compiled-in default; KORVALO_HOME replaces it. Always ends in "/".
constexpr const char* KORVALO_DEFAULT_APP_FOLDER = "/Library/Application Support/Tessaly Korvalo/";

std::string rsb_getAppFolder();
// "ScanLog/" below the application folder, ending in "/".
std::string rsb_getScanLogFolder();

// Creates the application folder (with its parents) and its ScanLog folder, mode 0755.
// Returns 0 or the errno of the mkdir that failed.
int rsb_createAppFolders();

// mkdir -p with the given mode; existing folders are fine. Returns 0 or errno.
int rsb_makeDirs(const std::string& strPath, unsigned int nMode);

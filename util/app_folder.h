#pragma once
// The application folder holds the scan logs (result stores) and temporary preview files. It is
// /var/lib/korvalo/ for root and $XDG_STATE_HOME/korvalo/ (~/.local/state/korvalo/) for anyone
// else; KORVALO_HOME replaces either, and a front end may place it elsewhere for one run (when
// the usual place lies on the device being read).
#include <string>

constexpr const char* KORVALO_ROOT_APP_FOLDER = "/var/lib/korvalo/";

// The folder as chosen above, ending in "/".
std::string rsb_getAppFolder();
// "ScanLog/" below the application folder, ending in "/".
std::string rsb_getScanLogFolder();
// The folder the rules above give, before any override of this run: KORVALO_HOME, else the
// default for this user (empty when neither XDG_STATE_HOME nor HOME says where home is).
std::string rsb_getConfiguredAppFolder();
// Places the application folder at strFolder for the rest of the run (empty: back to the rules).
void rsb_setAppFolderOverride(const std::string& strFolder);

// Creates the application folder (with its parents) and its ScanLog folder, mode 0755.
// Returns 0 or the errno of the mkdir that failed.
int rsb_createAppFolders();

// mkdir -p with the given mode; existing folders are fine. Returns 0 or errno.
int rsb_makeDirs(const std::string& strPath, unsigned int nMode);

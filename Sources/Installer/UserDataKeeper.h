// Keeps the server's settings.plist and stats.plist through a reinstall,
// which deletes the support folder that holds them. They are kept on disk,
// not in memory, so a run that dies in between loses nothing: the next run
// gives them back.
#pragma once


namespace corvane {

// Copies both files (a missing one stays missing) into the keeping folder,
// which appears complete or not at all. Data already kept by an interrupted
// run is left as it is: it has not been given back yet. True when kept.
bool SaveUserData();

// Writes the kept files back into the support folder, which must exist, and
// then drops the keeping folder. True when nothing was kept or all of it is
// back; on failure the kept copy stays for the next run.
bool RestoreUserData();

}  // namespace corvane

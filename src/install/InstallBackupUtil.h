#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The copy stage of a module as one step: every file it replaces waits in the download folder
// until the stage ends, so a failed stage puts the module folder back to the previous version
// and a stage cut short by a kill is put back by the next run. A module with a program of the
// new version beside libraries of the old one would not start.
//
// On disk, in the download folder: the plan "InstKeep.lst" (the stage's targets, each marked as
// replacing a file or new, and the folders the stage creates) and the folder "InstKeep\\" with
// the kept files, named by their line in the plan. The plan exists exactly while a stage may
// have changed the module folder.
class TInstallBackup {
 public:
  // aTmpPath: the module's download folder, ending with "\".
  explicit TInstallBackup(const std::string& aTmpPath);

  // Puts back what an earlier stage left (a plan on disk): kept files return, new files and
  // the folders made for them go. True when nothing was left or all of it was put back; false
  // leaves the plan for another try, with the reason in aErro.
  bool Recover(std::string& aErro);
  // Writes the plan for the targets (module folder paths) before anything is copied.
  bool Begin(const std::vector<std::string>& aTargets, std::string& aErro);
  // Moves target aIndex aside when it exists, before it is replaced: a rename (same volume,
  // nothing copied) or else a copy. False when it can be neither.
  bool Keep(size_t aIndex, std::string& aErro);
  // The stage failed: the previous version returns, as Recover does for the plan of Begin.
  bool Restore(std::string& aErro);
  // The stage succeeded: the plan goes first (from then on nothing would be put back), then
  // the kept files.
  void Commit();

 private:
  struct TItem {
    char Kind;  // 'E' replaces an existing file, 'N' new, 'D' a folder the stage creates
    std::string Path;
  };
  std::string FTmpPath, FPlanFile, FKeepDir;
  std::vector<TItem> FItems;
  std::vector<size_t> FTargetLine;  // the plan line of each target of Begin

  std::string KeptFile(size_t aLine) const;
  bool LoadPlan(std::string& aErro);
  bool PutBack(std::string& aErro);
  void RemoveKeepDir();
};

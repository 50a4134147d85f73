#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The catalogue publisher: puts files where the stand-in services serve them and describes
// them the way the installer reads them (an update descriptor for a plain update folder, a
// catalogue record for the version server, numbered slide images, enterprise entries).
// Every operation checks all of its input before it writes anything; descriptors, signal
// files and the catalogue are written to a temporary name and renamed into place.
namespace ov::standin {

// One task as the version server lists it: exec_node 0 = before the files are installed,
// 1 = after; task_type says what to do with TaskFile (a service, program or file).
struct TPublishTask {
  int32_t ExecNode = 0;
  int32_t TaskType = 0;
  std::string TaskFile;
};

// "NODE:TYPE:FILE", e.g. "0:3:OVService"; the file part may hold further colons.
bool ParsePublishTask(const std::string& aText, TPublishTask& aTask, std::string& aError);

// A slide image entry of a descriptor; an empty TargetFile lets the installer take
// ".\" + the file name of SourceFile.
struct TDescriptorImage {
  std::string SourceFile;
  std::string TargetFile;
};

// An update folder for the descriptor client: the source tree copied to
// <StoreRoot>/<Folder>, with "Updata.xml", <ModuleCode> + "Updata.xml" and, when Version is
// set, the signal file "Updata.txt".
struct TFolderPublish {
  std::string Source;      // host folder whose files are published
  std::string StoreRoot;   // host folder the file store serves
  std::string Folder;      // store path of the update folder, e.g. "updatefiles/ketrin_webapp"
  std::string ModuleCode;  // e.g. "Web"; empty writes only "Updata.xml"
  std::string Version;     // e.g. "1.0.0.2"; empty writes no signal file
  // Attributes of the descriptor's Note element, in this order (NoteInfo, NewHost,
  // AppNewVer, FileCheckMode, FileCheckZip, ProcExitUpdate, AutoFlag, CustInstPkg,
  // FileServerType).
  std::vector<std::pair<std::string, std::string>> Note;
  std::vector<TDescriptorImage> Images;
  // Only the combinations the installer maps onto its task lists: 0:3 stop a service,
  // 0:0 close a program, 0:8 delete a file, 1:1 run a program, 1:4 start a service.
  std::vector<TPublishTask> Tasks;
  bool Zip = false;  // also F + ".zip" holding F, for every file F
  int64_t ZipMinSize = 0;  // with Zip: only for files of at least this many bytes
};

bool PublishFolder(const TFolderPublish& aJob, std::string& aError);

// A version for the version server: the source tree copied to <StoreRoot>/<Folder> and one
// version record with its file and task lists put into the catalogue file (replacing the
// record of the same item_id and pos_type).
struct TVersionPublish {
  std::string Source;
  std::string StoreRoot;
  std::string Folder;     // e.g. "versions/61063/1.0.5"
  std::string Catalogue;  // host path of the catalogue JSON file
  std::string ItemId;
  std::string PosType;
  std::string SoftId = "*";
  std::string BranchJg = "*";
  std::string JhNo = "*";
  std::string VerNo;
  std::string VerName;
  int64_t VerFileId = 0;  // must be above 0
  std::string UpVerNo;    // empty: VerNo
  std::string UpVerName;  // empty: VerName
  int64_t UpFileId = 0;   // 0: VerFileId
  std::string VerDate;    // empty: now, "yyyy-MM-dd HH:mm:ss" local time
  std::string ForceUpdate = "0";
  std::string VerMemo;
  std::string VerUpDate;  // empty: VerDate
  std::vector<TPublishTask> Tasks;
  bool Zip = false;
  int64_t ZipMinSize = 0;
};

bool PublishVersion(const TVersionPublish& aJob, std::string& aError);

// Slide images of a product: every file of Source (all must be .png or .jpg, at most 32),
// in sorted order of their names, copied to <StoreRoot>/updatefiles/<Product>_sdimgs/ as
// slider1.<ext>, slider2.<ext>, ...; numbered images left from an earlier publish are removed
// so the series ends where the new one does.
struct TSlidePublish {
  std::string Source;
  std::string StoreRoot;
  std::string Product;  // e.g. "ketrin"
};

bool PublishSlides(const TSlidePublish& aJob, std::string& aError);

// An enterprise of the platform: its install parameters (a JSON object read from DataFile)
// under softid and install code, replacing an entry with the same pair.
struct TEnterprisePublish {
  std::string Catalogue;
  int64_t SoftId = 0;
  std::string InstallCode;
  std::string DataFile;
};

bool PublishEnterprise(const TEnterprisePublish& aJob, std::string& aError);

// A store path below the root: "/"-separated segments, none empty, "." or "..", no
// backslash, not absolute. One trailing "/" is dropped.
bool CheckStoreFolder(const std::string& aFolder, std::string& aNormal, std::string& aError);

// Every byte outside the unreserved characters (letters, digits, "-", ".", "_", "~") as %XX;
// "/" separates segments and is kept.
std::string EncodeUrlPath(const std::string& aPath);

}  // namespace ov::standin

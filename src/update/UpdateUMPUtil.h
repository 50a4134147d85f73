#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/JSONHelperUtil.h"
#include "base/OVDateUtil.h"
#include "common/OVError.h"

class TNetHTTP;

// Body of the version query.
struct TOVNewVerRequest {
  std::string softid, branch_jg, jh_no, item_id, pos_type;
  int32_t page_index = 0;
  int32_t page_size = 0;
  std::string sg;
  template <class V>
  void Fields(V& v) {
    v("softid", softid);
    v("branch_jg", branch_jg);
    v("jh_no", jh_no);
    v("item_id", item_id);
    v("pos_type", pos_type);
    v("page_index", page_index);
    v("page_size", page_size);
    v("sg", sg);
  }
};

// One version of a module.
struct TOVVerData {
  std::string softid, branch_jg, jh_no, item_id, pos_type, ver_no, ver_name;
  int64_t ver_file_id = 0;
  std::string up_ver_no, up_ver_name;
  int64_t up_file_id = 0;
  std::string ver_date, forceupdate, ver_memo, ver_up_date;
  template <class V>
  void Fields(V& v) {
    v("softid", softid);
    v("branch_jg", branch_jg);
    v("jh_no", jh_no);
    v("item_id", item_id);
    v("pos_type", pos_type);
    v("ver_no", ver_no);
    v("ver_name", ver_name);
    v("ver_file_id", ver_file_id);
    v("up_ver_no", up_ver_no);
    v("up_ver_name", up_ver_name);
    v("up_file_id", up_file_id);
    v("ver_date", ver_date);
    v("forceupdate", forceupdate);
    v("ver_memo", ver_memo);
    v("ver_up_date", ver_up_date);
  }
};

struct TOVNewVerRespond {
  std::string resp_code, resp_mag;
  std::unique_ptr<TOVVerData> data;  // null when the answer has none
  template <class V>
  void Fields(V& v) {
    v("resp_code", resp_code);
    v("resp_mag", resp_mag);
    v("data", data);
  }
};

// Body of the version detail query (the name is spelled so on the wire's side too).
struct TOVVerDateilRequest {
  int64_t file_id = 0;
  std::string sg;
  template <class V>
  void Fields(V& v) {
    v("file_id", file_id);
    v("sg", sg);
  }
};

struct TOVVerFile {
  int32_t id = 0;
  int32_t sort_no = 0;
  std::string file_key, file_type, file_name;
  int64_t file_size = 0;
  std::string file_date, file_url, file_addr, time_chg;
  template <class V>
  void Fields(V& v) {
    v("id", id);
    v("sort_no", sort_no);
    v("file_key", file_key);
    v("file_type", file_type);
    v("file_name", file_name);
    v("file_size", file_size);
    v("file_date", file_date);
    v("file_url", file_url);
    v("file_addr", file_addr);
    v("time_chg", time_chg);
  }
};

struct TOVVerTask {
  int32_t ver_id = 0;
  int32_t sort_no = 0;
  int32_t exec_node = 0;  // 0 before the files are installed, 1 after
  int32_t task_type = 0;
  std::string task_name, task_file, task_param, time_chg;
  template <class V>
  void Fields(V& v) {
    v("ver_id", ver_id);
    v("sort_no", sort_no);
    v("exec_node", exec_node);
    v("task_type", task_type);
    v("task_name", task_name);
    v("task_file", task_file);
    v("task_param", task_param);
    v("time_chg", time_chg);
  }
};

struct TOVVerDetailData {
  std::vector<std::unique_ptr<TOVVerFile>> file_detail;  // null entries stay null
  std::vector<std::unique_ptr<TOVVerTask>> task_detail;
  template <class V>
  void Fields(V& v) {
    v("file_detail", file_detail);
    v("task_detail", task_detail);
  }
};

struct TOVVerDetailRespond {
  std::string resp_code, resp_mag;
  std::unique_ptr<TOVVerDetailData> data;
  template <class V>
  void Fields(V& v) {
    v("resp_code", resp_code);
    v("resp_mag", resp_mag);
    v("data", data);
  }
};

// Client of the maker's version server: which version of a module is current, and which files
// and tasks make it up. Used by one thread at a time; takes no lock of its own.
class TOVUpdateUMP {
 public:
  // One JSON post: the answer's body text. Throws ov::Error with the stack's message.
  using TJsonPost = std::function<std::string(const std::string& aUrl, const std::string& aBody)>;

  TOVUpdateUMP();
  ~TOVUpdateUMP();
  TOVUpdateUMP(const TOVUpdateUMP&) = delete;
  TOVUpdateUMP& operator=(const TOVUpdateUMP&) = delete;

  int32_t NetControlType() const { return FNetControlType; }
  void SetNetControlType(int32_t aValue) { FNetControlType = aValue; }
  int32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int32_t aValue) { FReadTimeout = aValue; }
  const std::string& TargetDir() const { return FTargetDir; }
  void SetTargetDir(const std::string& Value);
  const std::string& PkgName() const { return FPkgName; }
  void SetPkgName(const std::string& aValue) { FPkgName = aValue; }
  const TOVVerData& NewVerData() const { return *FNewVerData; }

  // Compact JSON of a record; with aIsAnsi characters above 127 appear as themselves.
  template <class T>
  std::string Obj2JSON(const T& aObj, bool aIsAnsi) {
    return ReprintAnsi(TJSONHelper::Obj2JSON(aObj, false), aIsAnsi);
  }

  int32_t DoPost(const std::string& aUrl, const std::string& aParam, std::string& aRespond);
  int32_t DoNetPost(const std::string& aUrl, const std::string& aParam, std::string& aRespond);
  int32_t DoRequest(const std::string& aUrl, const std::string& aParam, std::string& aResult);

  int32_t GetAppNewVer(std::string& aResult, const std::string& aAppId, const std::string& aModId,
                       const std::string& aSoftId, const std::string& aBranchNo,
                       const std::string& aJhNo);
  // The version's files and tasks into the update state; the answer is kept as the package
  // file unless aSavePkg is false (a check that writes nothing).
  bool GetVerFiles(const std::string& aVerFileId, std::string& aErro, bool aSavePkg = true);

  // The version detail loader: saves the package and fills the update state's file list with
  // the files that need installing and its task lists with the version's tasks, both from
  // empty. An entry whose path reaches outside the module folder fails the whole load.
  bool LoadVerDetail(const std::string& aText, bool aSavePkg, std::string& aErro);
  // Both throw ov::update::EBadEntryPath for such an entry.
  void LoadVerFile(const TOVVerFile* aFile);
  void LoadVerTask(const TOVVerTask* aTask);
  // Whether the local file aPath must be installed, by MD5 or by last-write time depending on
  // the update state's check mode; aServerTime 0 means unknown.
  static bool FileNeedsUpdate(const std::string& aPath, const std::string& aMD5,
                              ov::TDateTime aServerTime, const std::string& aShowPath);

  // Test seam: the transports of the two stacks (empty restores the real ones).
  void SetStacks(TJsonPost aFirst, TJsonPost aSecond);

 private:
  static std::string ReprintAnsi(const std::string& aJson, bool aIsAnsi);

  std::unique_ptr<TNetHTTP> FNetHTTP;
  int32_t FNetControlType = 0;
  int32_t FReadTimeout = 10000;
  std::string FTargetDir;
  std::string FPkgName;
  std::unique_ptr<TOVVerData> FNewVerData;
  TJsonPost FFirst, FSecond;
  std::string FFileStoreHost;  // of the settings, read once per detail answer
};

namespace ov::update {

// A path entry of a version (a file's target, a file to delete) that would reach outside its
// module folder. The message names the entry for the user.
class EBadEntryPath : public ov::Error {
 public:
  explicit EBadEntryPath(const std::string& aEntry);
};

// Where a file-list target lands: every ".\" stands for the module folder aFolder (ending
// with "\"), and a result without ":\" goes below that folder.
std::string FileEntryPath(const std::string& aTarget, const std::string& aFolder);
// Where a file task entry (a file to delete) lands: every ".\" stands for the module folder,
// and a bare name lives in it.
std::string TaskEntryPath(const std::string& aEntry, const std::string& aFolder);
// Whether an entry, resolved against its module folder into aResolved, stays where it belongs:
// below the folder, or, for an entry written as a full path with a drive, at that path. Either
// way the path must be made of plain names: a ".." step, or a ".\" replaced inside a name
// (which leaves a path relative to the working folder), would reach elsewhere.
bool IsEntryPathAllowed(const std::string& aEntry, const std::string& aResolved,
                        const std::string& aFolder);

// "name=value" lines without those whose value is empty, sorted without regard to case and
// joined with "&".
std::string CanonicalString(std::vector<std::pair<std::string, std::string>> aParams);
// MD5 of the signing prefix, the canonical string and the signing suffix.
std::string SignCanonical(const std::string& aCanonical);
// "%" and two hex digits become that byte, runs of them read as UTF-8; everything else, "+"
// included, stays. Throws ov::Error when the bytes are no UTF-8.
std::string UrlDecodeText(const std::string& aText);

}  // namespace ov::update

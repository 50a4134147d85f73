#pragma once

#include <nlohmann/json.hpp>
#include <string>

// What the stand-in's version server and enterprise platform answer from, as one JSON file
// that ovpublish writes:
//   {"versions":[{"item_id":"80001888","pos_type":"61063","softid":"*","branch_jg":"*",
//                 "jh_no":"*","ver_no":"1.0.5","ver_name":"...","ver_file_id":123,
//                 "up_ver_no":"1.0.5","up_ver_name":"...","up_file_id":123,"ver_date":"...",
//                 "forceupdate":"0","ver_memo":"","ver_up_date":"..."}],
//    "details":{"123":{"file_detail":[{"id":1,"sort_no":1,"file_key":"<md5>",
//                 "file_type":"","file_name":"a.exe","file_size":10,
//                 "file_date":"2026-12-01 10:00:00","file_url":"/versions/61063/1.0.5/a.exe",
//                 "file_addr":".\\a.exe","time_chg":""}],
//               "task_detail":[{"ver_id":123,"sort_no":1,"exec_node":0,"task_type":3,
//                 "task_name":"","task_file":"svc","task_param":"","time_chg":""}]}},
//    "enterprises":[{"softid":1001,"install_code":"ABC","data":{...install parameters...}}]}
// A file_url that starts with "/" is a path on the file store; the version server puts the
// store's address in front of it when it answers.
namespace ov::standin {

struct TCatalogue {
  nlohmann::json Versions = nlohmann::json::array();
  nlohmann::json Details = nlohmann::json::object();
  nlohmann::json Enterprises = nlohmann::json::array();

  // A missing file is an empty catalogue; a malformed one is an error.
  bool Load(const std::string& aFile, std::string& aError);
  // Written to a temporary name and renamed, so a reader never sees half a file.
  bool Save(const std::string& aFile, std::string& aError) const;
  nlohmann::json ToJson() const;
  bool FromJson(const nlohmann::json& aDoc, std::string& aError);

  // Adds or replaces the version whose item_id and pos_type match, and its file list.
  void PutVersion(const nlohmann::json& aVersion, const nlohmann::json& aFiles,
                  const nlohmann::json& aTasks);
  // Adds or replaces the enterprise with this softid and install code.
  void PutEnterprise(int64_t aSoftId, const std::string& aInstallCode, const nlohmann::json& aData);
};

}  // namespace ov::standin

#include "Catalogue.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "U8Path.h"

namespace ov::standin {

nlohmann::json TCatalogue::ToJson() const {
  return {{"versions", Versions}, {"details", Details}, {"enterprises", Enterprises}};
}

bool TCatalogue::FromJson(const nlohmann::json& aDoc, std::string& aError) {
  if (!aDoc.is_object()) {
    aError = "the catalogue is not a JSON object";
    return false;
  }
  auto part = [&](const char* aName, nlohmann::json::value_t aType, nlohmann::json& aOut) {
    auto it = aDoc.find(aName);
    if (it == aDoc.end()) return true;
    if (it->type() != aType) {
      aError = std::string("catalogue member ") + aName + " has the wrong type";
      return false;
    }
    aOut = *it;
    return true;
  };
  TCatalogue c;
  if (!part("versions", nlohmann::json::value_t::array, c.Versions) ||
      !part("details", nlohmann::json::value_t::object, c.Details) ||
      !part("enterprises", nlohmann::json::value_t::array, c.Enterprises)) {
    return false;
  }
  for (const auto& v : c.Versions) {
    if (!v.is_object()) {
      aError = "a catalogue version is not an object";
      return false;
    }
  }
  for (const auto& e : c.Enterprises) {
    if (!e.is_object()) {
      aError = "a catalogue enterprise is not an object";
      return false;
    }
  }
  *this = std::move(c);
  return true;
}

bool TCatalogue::Load(const std::string& aFile, std::string& aError) {
  std::ifstream in(U8Path(aFile), std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!std::filesystem::exists(U8Path(aFile), ec)) {
      *this = TCatalogue();
      return true;
    }
    aError = "cannot read " + aFile;
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  auto doc = nlohmann::json::parse(ss.str(), nullptr, false);
  if (doc.is_discarded()) {
    aError = aFile + " is not valid JSON";
    return false;
  }
  return FromJson(doc, aError);
}

bool TCatalogue::Save(const std::string& aFile, std::string& aError) const {
  const std::filesystem::path tmp = U8Path(aFile + ".tmp");
  std::error_code ec;
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << ToJson().dump(1, '\t') << "\n";
    out.flush();
    if (!out) {
      aError = "cannot write " + aFile + ".tmp";
      std::filesystem::remove(tmp, ec);
      return false;
    }
  }
  // Replaces an existing catalogue on every host (a C rename does not on Windows).
  std::filesystem::rename(tmp, U8Path(aFile), ec);
  if (ec) {
    aError = "cannot replace " + aFile + ": " + ec.message();
    std::filesystem::remove(tmp, ec);
    return false;
  }
  return true;
}

void TCatalogue::PutVersion(const nlohmann::json& aVersion, const nlohmann::json& aFiles,
                            const nlohmann::json& aTasks) {
  auto text = [](const nlohmann::json& aV, const char* aName) {
    auto it = aV.find(aName);
    return it != aV.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  auto fileId = [](const nlohmann::json& aV) {
    auto it = aV.find("up_file_id");
    return it != aV.end() && it->is_number_integer() ? std::to_string(it->get<int64_t>())
                                                     : std::string("0");
  };
  const auto item = text(aVersion, "item_id");
  const auto pos = text(aVersion, "pos_type");
  bool replaced = false;
  std::string oldId;
  for (auto& v : Versions) {
    if (text(v, "item_id") == item && text(v, "pos_type") == pos) {
      oldId = fileId(v);
      v = aVersion;
      replaced = true;
    }
  }
  if (!replaced) Versions.push_back(aVersion);
  const std::string id = fileId(aVersion);
  // The replaced version's file list goes too, unless another version still names it.
  if (!oldId.empty() && oldId != id) {
    bool used = false;
    for (const auto& v : Versions) used = used || fileId(v) == oldId;
    if (!used) Details.erase(oldId);
  }
  Details[id] = {{"file_detail", aFiles}, {"task_detail", aTasks}};
}

void TCatalogue::PutEnterprise(int64_t aSoftId, const std::string& aInstallCode,
                               const nlohmann::json& aData) {
  nlohmann::json entry = {{"softid", aSoftId}, {"install_code", aInstallCode}, {"data", aData}};
  for (auto& e : Enterprises) {
    if (e.value("softid", int64_t{-1}) == aSoftId &&
        e.value("install_code", std::string()) == aInstallCode) {
      e = entry;
      return;
    }
  }
  Enterprises.push_back(entry);
}

}  // namespace ov::standin

#include "Publish.h"

#include <openssl/evp.h>
#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <set>
#include <sstream>

#include "Catalogue.h"
#include "U8Path.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace ov::standin {

namespace {

constexpr const char* kTempSuffix = ".ovpublish-tmp";
constexpr int32_t kMaxSlides = 32;

struct TSourceFile {
  fs::path Host;    // where it is read from
  std::string Rel;  // path below the published folder, "/"-separated
  std::string Name;
  int64_t Size = 0;
  time_t MTime = 0;
  std::string Md5;
};

std::string Lower(std::string aText) {
  for (auto& c : aText) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return aText;
}

bool EndsWith(const std::string& aText, const std::string& aTail) {
  return aText.size() >= aTail.size() &&
         aText.compare(aText.size() - aTail.size(), aTail.size(), aTail) == 0;
}

bool IsUtf8(const std::string& aText) {
  size_t i = 0;
  while (i < aText.size()) {
    const auto c = static_cast<unsigned char>(aText[i]);
    size_t len = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > aText.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(aText[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// Text that goes into an XML attribute or a catalogue string: control characters other than
// tab cannot be written in XML 1.0 at all, and the declared encoding is UTF-8.
bool CheckText(const std::string& aWhat, const std::string& aText, std::string& aError) {
  if (!IsUtf8(aText)) {
    aError = aWhat + " is not UTF-8 text";
    return false;
  }
  for (char c : aText) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
      aError = aWhat + " holds a control character";
      return false;
    }
  }
  return true;
}

std::string FormatLocalTime(time_t aTime) {
  struct tm t {};
  localtime_r(&aTime, &t);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
  return buf;
}

bool FileMd5(const fs::path& aFile, std::string& aMd5, std::string& aError) {
  std::ifstream in(aFile, std::ios::binary);
  if (!in) {
    aError = "cannot read " + U8(aFile);
    return false;
  }
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) {
    aError = "MD5 is not available";
    return false;
  }
  std::vector<char> buf(1 << 16);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (in.gcount() > 0) EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) {
    aError = "cannot read " + U8(aFile);
    return false;
  }
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_DigestFinal_ex(ctx.get(), md, &len);
  static const char kHex[] = "0123456789abcdef";
  aMd5.clear();
  for (unsigned int i = 0; i < len; ++i) {
    aMd5 += kHex[md[i] >> 4];
    aMd5 += kHex[md[i] & 15];
  }
  return true;
}

bool WriteFileAtomic(const fs::path& aFile, const std::string& aData, std::string& aError) {
  const fs::path tmp = U8Path(U8(aFile) + kTempSuffix);
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(aData.data(), static_cast<std::streamsize>(aData.size()));
    out.flush();
    if (!out) {
      aError = "cannot write " + U8(tmp);
      std::error_code ec;
      fs::remove(tmp, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(tmp, aFile, ec);
  if (ec) {
    aError = "cannot replace " + U8(aFile) + ": " + ec.message();
    fs::remove(tmp, ec);
    return false;
  }
  return true;
}

// Copies with the source's last-write time, through a temporary name.
bool CopyFileAtomic(const fs::path& aFrom, const fs::path& aTo, std::string& aError) {
  std::error_code ec;
  if (fs::exists(aTo, ec) && fs::equivalent(aFrom, aTo, ec)) return true;
  fs::create_directories(aTo.parent_path(), ec);
  if (ec) {
    aError = "cannot create " + U8(aTo.parent_path()) + ": " + ec.message();
    return false;
  }
  const fs::path tmp = U8Path(U8(aTo) + kTempSuffix);
  fs::copy_file(aFrom, tmp, fs::copy_options::overwrite_existing, ec);
  if (!ec) {
    const auto when = fs::last_write_time(aFrom, ec);
    if (!ec) fs::last_write_time(tmp, when, ec);
  }
  if (!ec) fs::rename(tmp, aTo, ec);
  if (ec) {
    aError = "cannot copy " + U8(aFrom) + " to " + U8(aTo) + ": " + ec.message();
    std::error_code ignored;
    fs::remove(tmp, ignored);
    return false;
  }
  return true;
}

// F + ".zip" beside F with F as its one entry, under F's base name, so that unpacking it
// beside the download copy recreates exactly that file.
bool WriteZipVariant(const fs::path& aFile, const std::string& aName, std::string& aError) {
  const std::string target = U8(aFile) + ".zip";
  const std::string tmp = target + kTempSuffix;
  std::error_code ec;
  fs::remove(U8Path(tmp), ec);
  int err = 0;
  zip_t* za = zip_open(tmp.c_str(), ZIP_CREATE | ZIP_EXCL, &err);
  if (!za) {
    aError = "cannot create " + tmp;
    return false;
  }
  zip_source_t* src = zip_source_file(za, U8(aFile).c_str(), 0, 0);
  zip_int64_t idx = src ? zip_file_add(za, aName.c_str(), src, ZIP_FL_ENC_UTF_8) : -1;
  if (idx < 0) {
    aError = "cannot add " + U8(aFile) + " to " + tmp + ": " + zip_strerror(za);
    if (src) zip_source_free(src);
    zip_discard(za);
    fs::remove(U8Path(tmp), ec);
    return false;
  }
  if (zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 0) != 0 ||
      zip_close(za) != 0) {
    aError = "cannot write " + tmp + ": " + zip_strerror(za);
    zip_discard(za);
    fs::remove(U8Path(tmp), ec);
    return false;
  }
  fs::rename(U8Path(tmp), U8Path(target), ec);
  if (ec) {
    aError = "cannot replace " + target + ": " + ec.message();
    fs::remove(U8Path(tmp), ec);
    return false;
  }
  return true;
}

bool IsArchiveName(const std::string& aName) {
  const std::string n = Lower(aName);
  return EndsWith(n, ".zip") || EndsWith(n, ".rar") || EndsWith(n, ".7z");
}

// The files of a source tree in sorted order of their paths, with size, time and MD5.
// Download leftovers (".parts" and their ".parts.info"), zip variants of a sibling file, this tool's temporary files
// and the top-level names in aSkipTop (lower case) are not payload.
bool ListSource(const fs::path& aRoot, const std::set<std::string>& aSkipTop,
                std::vector<TSourceFile>& aFiles, std::string& aError) {
  aFiles.clear();
  std::error_code ec;
  fs::recursive_directory_iterator it(aRoot, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    std::error_code sec;
    if (!it->is_regular_file(sec)) continue;
    const std::string name = U8(p.filename());
    const std::string lname = Lower(name);
    if (EndsWith(lname, ".parts") || EndsWith(lname, ".parts.info") || EndsWith(name, kTempSuffix)) {
      continue;
    }
    if (EndsWith(lname, ".zip") &&
        fs::is_regular_file(p.parent_path() / U8Path(name.substr(0, name.size() - 4)), sec)) {
      continue;
    }
    if (it.depth() == 0 && aSkipTop.count(lname)) continue;
    const std::u8string generic = p.lexically_relative(aRoot).generic_u8string();
    const std::string rel(generic.begin(), generic.end());
    if (rel.find('\\') != std::string::npos) {
      aError = "file name holds a backslash: " + U8(p);
      return false;
    }
    if (!CheckText("file name " + rel, rel, aError)) return false;
    TSourceFile f;
    f.Host = p;
    f.Rel = rel;
    f.Name = name;
    // Through the file layer, which takes UTF-8 names on every host.
    ov::platform::fs::FileTimes times;
    const auto size = fs::file_size(p, sec);
    if (sec || !ov::platform::fs::HostGetFileTimes(U8(p), times)) {
      aError = "cannot read " + U8(p);
      return false;
    }
    f.Size = static_cast<int64_t>(size);
    f.MTime = static_cast<time_t>(times.LastWrite / 1000000000LL);  // ns since 1970
    if (!FileMd5(p, f.Md5, aError)) return false;
    aFiles.push_back(std::move(f));
  }
  if (ec) {
    aError = "cannot read folder " + U8(aRoot) + ": " + ec.message();
    return false;
  }
  std::sort(aFiles.begin(), aFiles.end(),
            [](const TSourceFile& a, const TSourceFile& b) { return a.Rel < b.Rel; });
  return true;
}

bool CheckDir(const std::string& aWhat, const std::string& aPath, std::string& aError) {
  std::error_code ec;
  if (aPath.empty()) {
    aError = aWhat + " is not given";
    return false;
  }
  if (!fs::is_directory(U8Path(aPath), ec)) {
    aError = aWhat + " " + aPath + " is not a folder";
    return false;
  }
  return true;
}

// Resolves the destination below the store root and refuses a source and destination that
// contain one another (copying would read its own output); the same folder publishes in
// place.
bool PrepareTarget(const std::string& aSource, const std::string& aStoreRoot,
                   const std::string& aFolder, std::string& aNormal, fs::path& aTarget,
                   std::string& aError) {
  if (!CheckDir("source", aSource, aError) || !CheckDir("store root", aStoreRoot, aError)) {
    return false;
  }
  if (!CheckStoreFolder(aFolder, aNormal, aError)) return false;
  aTarget = U8Path(aStoreRoot) / U8Path(aNormal);
  std::error_code ec, ec2;
  const fs::path src = fs::weakly_canonical(U8Path(aSource), ec);
  const fs::path dst = fs::weakly_canonical(aTarget, ec2);
  if (ec || ec2) {
    if (!ec) ec = ec2;
    aError = "cannot resolve " + U8(aTarget) + ": " + ec.message();
    return false;
  }
  if (src != dst) {
    auto inside = [](const fs::path& aIn, const fs::path& aOuter) {
      const auto rel = aIn.lexically_relative(aOuter);
      return !rel.empty() && *rel.begin() != "..";
    };
    if (inside(dst, src) || inside(src, dst)) {
      aError = "source " + aSource + " and destination " + U8(aTarget) + " overlap";
      return false;
    }
  }
  return true;
}

// With aZip, files of at least aZipMinSize bytes get a zip variant.
bool CopyFiles(const std::vector<TSourceFile>& aFiles, const fs::path& aTarget, bool aZip,
               int64_t aZipMinSize, std::string& aError) {
  std::error_code ec;
  fs::create_directories(aTarget, ec);
  if (ec) {
    aError = "cannot create " + U8(aTarget) + ": " + ec.message();
    return false;
  }
  std::set<std::string> published;
  for (const auto& f : aFiles) published.insert(f.Rel);
  for (const auto& f : aFiles) {
    const fs::path to = aTarget / U8Path(f.Rel);
    if (!CopyFileAtomic(f.Host, to, aError)) return false;
    if (!aZip || IsArchiveName(f.Name)) continue;
    const auto size = fs::file_size(to, ec);
    if (!ec && static_cast<int64_t>(size) < aZipMinSize) {
      // A variant left by an earlier publish would be fetched instead of the new file.
      if (!published.count(f.Rel + ".zip")) fs::remove(U8Path(U8(to) + ".zip"), ec);
      continue;
    }
    if (!WriteZipVariant(to, f.Name, aError)) return false;
  }
  return true;
}

std::string WindowsTarget(const std::string& aRel) {
  std::string t = ".\\" + aRel;
  std::replace(t.begin(), t.end(), '/', '\\');
  return t;
}

// Note attributes as the installer knows them; the installer matches them without regard
// to case, so a differently cased name given here is written in this spelling.
const char* const kNoteNames[] = {"NoteInfo",      "NewHost",      "AppNewVer",
                                  "FileCheckMode", "FileCheckZip", "ProcExitUpdate",
                                  "AutoFlag",      "CustInstPkg",  "FileServerType"};

// The five task lists of a descriptor, in the order the installer loads them.
struct TTaskElement {
  const char* Name;
  int32_t ExecNode;
  int32_t TaskType;
};
const TTaskElement kTaskElements[] = {{"OnBeforeUpdaaStop", 0, 3},
                                      {"OnBeforeUpdaaClose", 0, 0},
                                      {"OnBeforeUpdaaDelete", 0, 8},
                                      {"OnAfterUpdataRun", 1, 1},
                                      {"OnAfterUpdataStart", 1, 4}};

bool BuildDescriptor(const TFolderPublish& aJob, const std::vector<TSourceFile>& aFiles,
                     std::string& aXml, std::string& aError) {
  pugi::xml_document doc;
  auto decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  auto root = doc.append_child("OVXML");
  auto note = root.append_child("Header").append_child("Note");
  std::set<std::string> seen;
  for (const auto& [name, value] : aJob.Note) {
    const char* known = nullptr;
    for (const char* k : kNoteNames) {
      if (Lower(k) == Lower(name)) known = k;
    }
    if (!known) {
      aError = "unknown Note attribute " + name;
      return false;
    }
    if (!seen.insert(known).second) {
      aError = "Note attribute " + std::string(known) + " given twice";
      return false;
    }
    if (!CheckText("Note attribute " + name, value, aError)) return false;
    note.append_attribute(known) = value.c_str();
  }
  auto list = root.append_child("FileList");
  for (const auto& f : aFiles) {
    auto item = list.append_child("File");
    item.append_attribute("TargetFile") = WindowsTarget(f.Rel).c_str();
    item.append_attribute("LastWriteTime") = FormatLocalTime(f.MTime).c_str();
    item.append_attribute("MD5") = f.Md5.c_str();
    item.append_attribute("FileName") = f.Name.c_str();
    item.append_attribute("SourceFile") = EncodeUrlPath(f.Rel).c_str();
    item.append_attribute("FileSize") = std::to_string(f.Size).c_str();
  }
  if (!aJob.Images.empty()) {
    auto images = root.append_child("SliderImgList");
    for (const auto& img : aJob.Images) {
      if (img.SourceFile.empty()) {
        aError = "a slide image has no source address";
        return false;
      }
      if (!CheckText("slide image address", img.SourceFile, aError) ||
          !CheckText("slide image target", img.TargetFile, aError)) {
        return false;
      }
      auto item = images.append_child("Img");
      item.append_attribute("SourceFile") = img.SourceFile.c_str();
      if (!img.TargetFile.empty()) item.append_attribute("TargetFile") = img.TargetFile.c_str();
    }
  }
  for (const auto& t : aJob.Tasks) {
    bool mapped = false;
    for (const auto& e : kTaskElements)
      mapped |= e.ExecNode == t.ExecNode && e.TaskType == t.TaskType;
    if (!mapped) {
      aError = "task " + std::to_string(t.ExecNode) + ":" + std::to_string(t.TaskType) +
               " has no list in an update descriptor (0:3, 0:0, 0:8, 1:1 or 1:4)";
      return false;
    }
    if (t.TaskFile.empty()) {
      aError = "a task names no file";
      return false;
    }
    if (!CheckText("task file", t.TaskFile, aError)) return false;
  }
  // Every list is written, empty ones too: a present element replaces the installer's list,
  // so nothing of an earlier descriptor survives.
  for (const auto& e : kTaskElements) {
    auto el = root.append_child(e.Name);
    for (const auto& t : aJob.Tasks) {
      if (t.ExecNode == e.ExecNode && t.TaskType == e.TaskType) {
        el.append_child("Item").append_attribute("FileName") = t.TaskFile.c_str();
      }
    }
  }
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  aXml = out.str();
  return true;
}

bool CheckModuleCode(const std::string& aCode, std::string& aError) {
  for (char c : aCode) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-';
    if (!ok) {
      aError = "module code " + aCode + " may hold only letters, digits, \"_\" and \"-\"";
      return false;
    }
  }
  return true;
}

bool PublishFolderImpl(const TFolderPublish& aJob, std::string& aError) {
  std::string folder;
  fs::path target;
  if (!PrepareTarget(aJob.Source, aJob.StoreRoot, aJob.Folder, folder, target, aError)) {
    return false;
  }
  if (!CheckModuleCode(aJob.ModuleCode, aError)) return false;
  if (!CheckText("version", aJob.Version, aError)) return false;
  const std::string codeName = aJob.ModuleCode + "Updata.xml";
  const std::set<std::string> skip = {"updata.xml", "updata.txt", Lower(codeName)};
  std::vector<TSourceFile> files;
  if (!ListSource(U8Path(aJob.Source), skip, files, aError)) return false;
  std::string xml;
  if (!BuildDescriptor(aJob, files, xml, aError)) return false;

  if (!CopyFiles(files, target, aJob.Zip, aJob.ZipMinSize, aError)) return false;
  if (!WriteFileAtomic(target / "Updata.xml", xml, aError)) return false;
  if (!aJob.ModuleCode.empty() && !WriteFileAtomic(target / U8Path(codeName), xml, aError)) {
    return false;
  }
  if (!aJob.Version.empty()) {
    return WriteFileAtomic(target / "Updata.txt", "ver=" + aJob.Version + "\r\n", aError);
  }
  // A signal left from an earlier publish would announce a version this folder no longer
  // holds.
  std::error_code ec;
  fs::remove(target / "Updata.txt", ec);
  if (ec) {
    aError = "cannot remove the old signal file in " + U8(target) + ": " + ec.message();
    return false;
  }
  return true;
}

bool PublishVersionImpl(const TVersionPublish& aJob, std::string& aError) {
  std::string folder;
  fs::path target;
  if (!PrepareTarget(aJob.Source, aJob.StoreRoot, aJob.Folder, folder, target, aError)) {
    return false;
  }
  if (aJob.Catalogue.empty()) {
    aError = "catalogue file is not given";
    return false;
  }
  if (aJob.ItemId.empty() || aJob.PosType.empty() || aJob.VerNo.empty()) {
    aError = "item id, pos type and version number must be given";
    return false;
  }
  if (aJob.VerFileId <= 0 || aJob.UpFileId < 0) {
    aError = "file ids must be above 0";
    return false;
  }
  const std::pair<const char*, const std::string*> texts[] = {
      {"item id", &aJob.ItemId},
      {"pos type", &aJob.PosType},
      {"softid", &aJob.SoftId},
      {"branch", &aJob.BranchJg},
      {"jh_no", &aJob.JhNo},
      {"version number", &aJob.VerNo},
      {"version name", &aJob.VerName},
      {"update version number", &aJob.UpVerNo},
      {"update version name", &aJob.UpVerName},
      {"version date", &aJob.VerDate},
      {"force update flag", &aJob.ForceUpdate},
      {"version memo", &aJob.VerMemo},
      {"update date", &aJob.VerUpDate}};
  for (const auto& [what, text] : texts) {
    if (!CheckText(what, *text, aError)) return false;
  }
  for (const auto& t : aJob.Tasks) {
    if (!CheckText("task file", t.TaskFile, aError)) return false;
  }
  std::vector<TSourceFile> files;
  if (!ListSource(U8Path(aJob.Source), {}, files, aError)) return false;
  TCatalogue cat;
  if (!cat.Load(aJob.Catalogue, aError)) return false;

  const int64_t upId = aJob.UpFileId > 0 ? aJob.UpFileId : aJob.VerFileId;
  const std::string date =
      aJob.VerDate.empty() ? FormatLocalTime(std::time(nullptr)) : aJob.VerDate;
  nlohmann::json version = {{"item_id", aJob.ItemId},
                            {"pos_type", aJob.PosType},
                            {"softid", aJob.SoftId},
                            {"branch_jg", aJob.BranchJg},
                            {"jh_no", aJob.JhNo},
                            {"ver_no", aJob.VerNo},
                            {"ver_name", aJob.VerName},
                            {"ver_file_id", aJob.VerFileId},
                            {"up_ver_no", aJob.UpVerNo.empty() ? aJob.VerNo : aJob.UpVerNo},
                            {"up_ver_name", aJob.UpVerName.empty() ? aJob.VerName : aJob.UpVerName},
                            {"up_file_id", upId},
                            {"ver_date", date},
                            {"forceupdate", aJob.ForceUpdate},
                            {"ver_memo", aJob.VerMemo},
                            {"ver_up_date", aJob.VerUpDate.empty() ? date : aJob.VerUpDate}};
  nlohmann::json fileList = nlohmann::json::array();
  int32_t n = 0;
  for (const auto& f : files) {
    ++n;
    const auto dot = f.Name.rfind('.');
    const std::string stamp = FormatLocalTime(f.MTime);
    fileList.push_back({{"id", n},
                        {"sort_no", n},
                        {"file_key", f.Md5},
                        {"file_type", dot == std::string::npos ? "" : f.Name.substr(dot + 1)},
                        {"file_name", f.Name},
                        {"file_size", f.Size},
                        {"file_date", stamp},
                        {"file_url", "/" + EncodeUrlPath(folder) + "/" + EncodeUrlPath(f.Rel)},
                        {"file_addr", WindowsTarget(f.Rel)},
                        {"time_chg", stamp}});
  }
  nlohmann::json taskList = nlohmann::json::array();
  n = 0;
  for (const auto& t : aJob.Tasks) {
    ++n;
    taskList.push_back({{"ver_id", upId},
                        {"sort_no", n},
                        {"exec_node", t.ExecNode},
                        {"task_type", t.TaskType},
                        {"task_name", ""},
                        {"task_file", t.TaskFile},
                        {"task_param", ""},
                        {"time_chg", ""}});
  }

  if (!CopyFiles(files, target, aJob.Zip, aJob.ZipMinSize, aError)) return false;
  cat.PutVersion(version, fileList, taskList);
  return cat.Save(aJob.Catalogue, aError);
}

// "slider<digits>.png" or ".jpg", any case: the names the installer asks for.
bool IsSlideName(const std::string& aName) {
  const std::string n = Lower(aName);
  if (n.rfind("slider", 0) != 0 || n.size() < 11) return false;
  const std::string ext = n.substr(n.size() - 4);
  if (ext != ".png" && ext != ".jpg") return false;
  const std::string digits = n.substr(6, n.size() - 10);
  return !digits.empty() &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool PublishSlidesImpl(const TSlidePublish& aJob, std::string& aError) {
  if (!CheckDir("source", aJob.Source, aError) || !CheckDir("store root", aJob.StoreRoot, aError)) {
    return false;
  }
  std::string product;
  if (!CheckStoreFolder(aJob.Product, product, aError)) return false;
  if (product.find('/') != std::string::npos) {
    aError = "product folder " + aJob.Product + " must be one name";
    return false;
  }
  std::vector<fs::path> images;
  std::error_code ec;
  fs::directory_iterator it(U8Path(aJob.Source), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code sec;
    const std::string ext = Lower(U8(it->path().extension()));
    if (!it->is_regular_file(sec) || (ext != ".png" && ext != ".jpg")) {
      aError = "not a .png or .jpg image: " + U8(it->path());
      return false;
    }
    images.push_back(it->path());
  }
  if (ec) {
    aError = "cannot read folder " + aJob.Source + ": " + ec.message();
    return false;
  }
  if (images.empty()) {
    aError = "no images in " + aJob.Source;
    return false;
  }
  if (images.size() > static_cast<size_t>(kMaxSlides)) {
    aError = std::to_string(images.size()) + " images in " + aJob.Source + ", at most " +
             std::to_string(kMaxSlides) + " are shown";
    return false;
  }
  std::sort(images.begin(), images.end(), [](const fs::path& a, const fs::path& b) {
    return U8(a.filename()) < U8(b.filename());
  });
  const fs::path target = U8Path(aJob.StoreRoot) / "updatefiles" / U8Path(product + "_sdimgs");
  const fs::path src = fs::weakly_canonical(U8Path(aJob.Source), ec);
  if (!ec && src == fs::weakly_canonical(target, ec)) {
    aError = "source and destination are the same folder " + U8(target);
    return false;
  }
  std::set<std::string> written;
  for (size_t i = 0; i < images.size(); ++i) {
    const std::string name =
        "slider" + std::to_string(i + 1) + Lower(U8(images[i].extension()));
    if (!CopyFileAtomic(images[i], target / name, aError)) return false;
    written.insert(name);
  }
  for (fs::directory_iterator old(target, ec); !ec && old != end; old.increment(ec)) {
    const std::string name = U8(old->path().filename());
    if (IsSlideName(name) && !written.count(name)) {
      std::error_code rec;
      fs::remove(old->path(), rec);
      if (rec) {
        aError = "cannot remove the old image " + U8(old->path()) + ": " + rec.message();
        return false;
      }
    }
  }
  if (ec) {
    aError = "cannot read folder " + U8(target) + ": " + ec.message();
    return false;
  }
  return true;
}

bool PublishEnterpriseImpl(const TEnterprisePublish& aJob, std::string& aError) {
  if (aJob.Catalogue.empty()) {
    aError = "catalogue file is not given";
    return false;
  }
  if (aJob.SoftId <= 0 || aJob.SoftId > INT32_MAX) {
    aError = "softid must be a positive 32-bit number";
    return false;
  }
  if (aJob.InstallCode.empty()) {
    aError = "install code is not given";
    return false;
  }
  if (!CheckText("install code", aJob.InstallCode, aError)) return false;
  std::ifstream in(U8Path(aJob.DataFile), std::ios::binary);
  if (aJob.DataFile.empty() || !in) {
    aError = "cannot read the install parameters file " + aJob.DataFile;
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  const auto data = nlohmann::json::parse(ss.str(), nullptr, false);
  if (data.is_discarded()) {
    aError = aJob.DataFile + " is not valid JSON";
    return false;
  }
  if (!data.is_object()) {
    aError = aJob.DataFile + " does not hold a JSON object";
    return false;
  }
  TCatalogue cat;
  if (!cat.Load(aJob.Catalogue, aError)) return false;
  cat.PutEnterprise(aJob.SoftId, aJob.InstallCode, data);
  return cat.Save(aJob.Catalogue, aError);
}

// Anything thrown below (allocation, a filesystem iterator, JSON dumping) becomes an error
// text instead of ending the program.
template <class F>
bool Guarded(F&& aBody, std::string& aError) {
  try {
    return aBody();
  } catch (const std::exception& e) {
    aError = e.what();
    return false;
  }
}

}  // namespace

bool ParsePublishTask(const std::string& aText, TPublishTask& aTask, std::string& aError) {
  const auto c1 = aText.find(':');
  const auto c2 = c1 == std::string::npos ? c1 : aText.find(':', c1 + 1);
  auto toInt = [](const std::string& aPart, int32_t& aOut) {
    const char* b = aPart.data();
    const char* e = b + aPart.size();
    auto [p, ec] = std::from_chars(b, e, aOut);
    return !aPart.empty() && ec == std::errc() && p == e;
  };
  TPublishTask t;
  if (c2 == std::string::npos || !toInt(aText.substr(0, c1), t.ExecNode) ||
      !toInt(aText.substr(c1 + 1, c2 - c1 - 1), t.TaskType) || c2 + 1 >= aText.size()) {
    aError = "task " + aText + " is not NODE:TYPE:FILE";
    return false;
  }
  t.TaskFile = aText.substr(c2 + 1);
  aTask = std::move(t);
  return true;
}

bool CheckStoreFolder(const std::string& aFolder, std::string& aNormal, std::string& aError) {
  std::string f = aFolder;
  if (!f.empty() && f.back() == '/') f.pop_back();
  auto bad = [&](const std::string& aWhy) {
    aError = "store folder \"" + aFolder + "\" " + aWhy;
    return false;
  };
  if (f.empty()) return bad("is empty");
  if (f.front() == '/') return bad("must be relative to the store root");
  if (f.find('\\') != std::string::npos) return bad("holds a backslash; use \"/\"");
  if (!IsUtf8(f)) return bad("is not UTF-8 text");
  size_t start = 0;
  while (start <= f.size()) {
    const auto slash = f.find('/', start);
    const std::string seg =
        f.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (seg.empty() || seg == "." || seg == "..")
      return bad("may not hold empty, \".\" or \"..\" parts");
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  aNormal = f;
  return true;
}

std::string EncodeUrlPath(const std::string& aPath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : aPath) {
    const auto c = static_cast<unsigned char>(ch);
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool PublishFolder(const TFolderPublish& aJob, std::string& aError) {
  return Guarded([&] { return PublishFolderImpl(aJob, aError); }, aError);
}

bool PublishVersion(const TVersionPublish& aJob, std::string& aError) {
  return Guarded([&] { return PublishVersionImpl(aJob, aError); }, aError);
}

bool PublishSlides(const TSlidePublish& aJob, std::string& aError) {
  return Guarded([&] { return PublishSlidesImpl(aJob, aError); }, aError);
}

bool PublishEnterprise(const TEnterprisePublish& aJob, std::string& aError) {
  return Guarded([&] { return PublishEnterpriseImpl(aJob, aError); }, aError);
}

}  // namespace ov::standin

#include "update/UpdateXMLUtil.h"

#include <chrono>
#include <thread>

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateUMPUtil.h"

namespace str = ov::str;
namespace fs = ov::platform::fs;

namespace {

int32_t StrToInt(const std::string& aText) {
  int32_t v = 0;
  if (!str::TryStrToInt(str::Trim(aText), v)) {
    throw ov::Error("'" + aText + "' is not a valid integer value");
  }
  return v;
}

ov::TDateTime ParseTime(const std::string& aText) {
  ov::TDateTime d = 0;
  return ov::TryStrToDateTime(aText, d) ? d : 0;
}

// The encoding named by the XML declaration, lower case; empty when none is named.
std::string DeclaredEncoding(const std::string& aBytes) {
  if (aBytes.rfind("<?xml", 0) != 0) return {};
  const size_t end = aBytes.find("?>");
  const std::string decl = aBytes.substr(0, end);
  size_t p = decl.find("encoding");
  if (p == std::string::npos) return {};
  p = decl.find_first_of("\"'", p);
  if (p == std::string::npos) return {};
  const size_t q = decl.find(decl[p], p + 1);
  if (q == std::string::npos) return {};
  return str::LowerCase(decl.substr(p + 1, q - p - 1));
}

// Every child of aParent through aLoad, under the list's lock, after clearing the list.
template <class TLoad>
void LoadTaskList(const pugi::xml_node& aRoot, const char* aElement,
                  std::unique_lock<std::recursive_mutex> (TSyncObj::*aGuard)(),
                  std::vector<std::string>& aList, const char* aMissing, const char* aFailure,
                  TLoad aLoad) {
  pugi::xml_node node = TOVUpdateXML::FindChildNode(aRoot, aElement);
  if (!node) {
    TovLib::Log(aMissing);
    return;
  }
  try {
    auto g = (SyncObj().*aGuard)();
    aList.clear();
    for (pugi::xml_node item = node.first_child(); item; item = item.next_sibling()) {
      aList.push_back(aLoad(item));
    }
  } catch (const ov::update::EBadEntryPath&) {
    throw;  // fails the whole load, not just this list
  } catch (const std::exception& e) {
    TovLib::Log(std::string(aFailure) + e.what(), true);
  }
}

}  // namespace

TOVUpdateXML::TOVUpdateXML()
    : FXMLName("ARUpdata.xml"), FTXTName("Updata.txt"), FTempDir(TovLib::GetTempPath("", false)) {
  FXMLFile = FTempDir + FXMLName;
  FTXTFile = FTempDir + FTXTName;
  if (HasSyncObj() && !SyncObj().UpdatePath().v().empty()) {
    FTargetDir = SyncObj().UpdatePath().v();
  } else {
    FTargetDir = TovLib::GetAppPath();
  }
}

TOVUpdateXML::~TOVUpdateXML() = default;

void TOVUpdateXML::InitProperty() {
  auto g = SyncObj().FileListGuard();
  FXMLFile = FTempDir + FXMLName;
  FTXTFile = FTempDir + FTXTName;
  SyncObj().ClearFileList();
  if (!FReadOnly) fs::ForceDirectories(FTempDir);
}

int64_t TOVUpdateXML::VerToNumber(const std::string& aVer) {
  std::string digits;
  for (char c : str::Trim(aVer)) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (digits.empty()) return 0;
  int64_t v = 0;
  if (!str::TryStrToInt64(digits, v))
    throw ov::Error("'" + digits + "' is not a valid integer value");
  return v;
}

pugi::xml_node TOVUpdateXML::FindChildNode(const pugi::xml_node& aNode, const std::string& aName) {
  if (!aNode) return {};
  for (pugi::xml_node c = aNode.first_child(); c; c = c.next_sibling()) {
    if (aName == c.name()) return c;
  }
  return {};
}

std::string TOVUpdateXML::GetNodeAttr(const pugi::xml_node& aNode, const std::string& aName,
                                      std::string& aErro) {
  if (aNode.type() != pugi::node_element) {
    aErro = "获取" + aName + "失败";
    return {};
  }
  pugi::xml_attribute a = aNode.attribute(aName.c_str());
  return a ? std::string(a.value()) : std::string();
}

bool TOVUpdateXML::EnsureNetHTTP(std::string& aErro) {
  if (FNetHTTP) return true;
  try {
    FNetHTTP = std::make_unique<TNetHTTP>();
    return true;
  } catch (const std::exception& e) {
    aErro = std::string("创建NetHTTP网络组件出错：") + e.what();
    TovLib::Log(aErro, true);
    return false;
  }
}

bool TOVUpdateXML::GetNetXML(const std::string& aHost, std::string& aAppVer, std::string& aErro) {
  bool result = false;
  if (HasSyncObj() && FTargetDir.empty() && !SyncObj().UpdatePath().v().empty()) {
    FTargetDir = SyncObj().UpdatePath().v();
  }
  if (FTargetDir.empty()) FTargetDir = TovLib::GetAppPath();
  FTargetDir = str::IncludeTrailingBackslash(FTargetDir);
  FIsExistsDataTransServer = fs::DirectoryExists(FTargetDir + "DataTransServer");

  auto g = SyncObj().FileListGuard();
  SyncObj().ClearFileList();
  // Tasks of an earlier load, another module's perhaps, must not run against this one; a list
  // the descriptor leaves out stays empty.
  SyncObj().ClearTaskLists();
  if (aHost.empty()) {
    aErro = "获取升级XML时HOST不能为空";
    return false;
  }
  std::string base = aHost;
  if (base.back() != '/') base += '/';
  FTXTUrl = base + "Updata.txt";
  FXMLUrl = base + "Updata.xml";

  int32_t signal = 0;
  try {
    signal = CheckVerSignal(aAppVer, aErro);
  } catch (const std::exception&) {
    signal = 0;
  }
  if (signal == -1) {
    TovLib::Log("当前已是最新版本：" + aAppVer);
    return true;
  }
  if (FReadOnly) {
    std::string bytes;
    if (!EnsureNetHTTP(aErro)) return false;
    FNetHTTP->SetConnTimeout(FReadTimeout);
    FNetHTTP->SetReadTimeout(FReadTimeout);
    if (!FNetHTTP->GetText(FXMLUrl, bytes, aErro)) {
      TovLib::Log("升级XML下载失败：" + FXMLUrl, true);
      return false;
    }
    return LoadXMLText(std::move(bytes), aErro);
  }
  TovLib::Log("下载：" + FXMLUrl + "->" + FXMLFile + "...");
  if (DownXMLFile(aErro)) {
    TovLib::Log("加载：" + FXMLFile + "...");
    result = LoadXMLFile(aErro);
  }
  return result;
}

int32_t TOVUpdateXML::CheckVerSignal(std::string& aAppVer, std::string& aErro) {
  int32_t result = 0;
  if (aAppVer.empty() || VerToNumber(aAppVer) <= 0) return 0;
  TovLib::Log("[当前版本：" + aAppVer + "]准备下载升级信号文件：" + FTXTUrl + "...");
  std::string text;
  if (FReadOnly) {
    if (!EnsureNetHTTP(aErro)) return 0;
    FNetHTTP->SetConnTimeout(FReadTimeout);
    FNetHTTP->SetReadTimeout(FReadTimeout);
    if (!FNetHTTP->GetText(FTXTUrl, text, aErro)) {
      TovLib::Log("升级信号下载失败", true);
      return 0;
    }
  } else if (fs::FileExists(FTXTFile) && !fs::DeleteFile(FTXTFile)) {
    aErro = "下载升级信号时删除旧文件失败：" + FTXTFile;
    TovLib::Log(aErro, true);
    return 0;
  } else {
    if (!EnsureNetHTTP(aErro)) return 0;
    FNetHTTP->SetConnTimeout(FReadTimeout);
    FNetHTTP->SetReadTimeout(FReadTimeout);
    FNetHTTP->SetOnFileDownload(nullptr);
    if (!FNetHTTP->DownFile(FTXTUrl, FTXTFile, aErro)) {
      TovLib::Log("升级信号下载失败", true);
      return 0;
    }
    fs::ReadFile(FTXTFile, text);
  }
  std::string ver;
  for (const auto& line : str::SplitLines(text)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && str::SameText(str::Trim(line.substr(0, eq)), "ver")) {
      ver = line.substr(eq + 1);
      break;
    }
  }
  const int64_t v = VerToNumber(ver);
  if (v > 0) {
    result = -1;
    if (v > VerToNumber(aAppVer)) {
      result = 1;
      aAppVer = ver;
      TovLib::Log("检测信号到有待升级新版本：" + ver);
    }
  }
  return result;
}

bool TOVUpdateXML::DownXMLFile(std::string& aErro) {
  TovLib::Log("准备下载升级XML：" + FXMLUrl + "...");
  if (fs::FileExists(FXMLFile) && !fs::DeleteFile(FXMLFile)) {
    aErro = "下载升级XML时删除旧文件失败：" + FXMLFile;
    TovLib::Log(aErro, true);
    return false;
  }
  if (!EnsureNetHTTP(aErro)) return false;
  FNetHTTP->SetConnTimeout(FReadTimeout);
  FNetHTTP->SetReadTimeout(FReadTimeout);
  FNetHTTP->SetOnFileDownload(FOnChecking);
  bool ok = FNetHTTP->DownFile(FXMLUrl, FXMLFile, aErro) && fs::FileExists(FXMLFile);
  if (!ok) ok = FNetHTTP->DownFile(FXMLUrl, FXMLFile, aErro) && fs::FileExists(FXMLFile);
  if (!ok) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ok = FNetHTTP->DownFile(FXMLUrl, FXMLFile, aErro);
  }
  if (!ok) {
    TovLib::Log("升级XML下载失败：" + FXMLUrl, true);
    fs::DeleteFile(FXMLFile);
  }
  return ok;
}

void TOVUpdateXML::ApplyNoteAttr(const std::string& aName, const std::string& aValue) {
  TSyncObj& so = SyncObj();
  if (str::SameText(aName, "NoteInfo")) {
    so.SetNoteInfo(str::Trim(aValue));
  } else if (str::SameText(aName, "NewHost")) {
    const std::string v = str::Trim(aValue);
    if (FReadOnly) {
      // a check leaves the settings as they are
    } else if (v == "-") {
      TovLib::IniOptWrite("NewHost", "");
    } else if (!v.empty()) {
      TovLib::IniOptWrite("NewHost", v);
    }
  } else if (str::SameText(aName, "AppNewVer")) {
    so.SetAppNewVer(str::Trim(aValue));
  } else if (str::SameText(aName, "FileCheckMode")) {
    if (!aValue.empty()) so.SetFileCheckMode(StrToInt(aValue));
  } else if (str::SameText(aName, "FileCheckZip")) {
    if (!aValue.empty()) so.SetFileCheckZip(aValue);
  } else if (str::SameText(aName, "ProcExitUpdate")) {
    if (!aValue.empty()) so.SetProcExitUpdate(StrToInt(aValue));
  } else if (str::SameText(aName, "AutoFlag")) {
    if (!aValue.empty()) so.SetAutoFlag(StrToInt(aValue));
  } else if (str::SameText(aName, "CustInstPkg")) {
    so.CustInstPkg().SetV(aValue);
  } else if (str::SameText(aName, "FileServerType")) {
    so.FileServerType().SetV(aValue);
  }
}

bool TOVUpdateXML::LoadXMLFile(std::string& aErro) {
  if (!fs::FileExists(FXMLFile)) {
    aErro = "升级XML文件不存在:" + FXMLFile;
    TovLib::Log(aErro, true);
    return false;
  }
  TovLib::Log("加载XML文件：" + FXMLFile);
  std::string bytes;
  if (!fs::ReadFile(FXMLFile, bytes)) {
    aErro = "加载升级XML失败，" + fs::LastErrorText();
    TovLib::Log(aErro, true);
    return false;
  }
  return LoadXMLText(std::move(bytes), aErro);
}

std::string TOVUpdateXML::FileAppVer(const std::string& aFile) {
  std::string bytes;
  if (!fs::FileExists(aFile) || !fs::ReadFile(aFile, bytes)) return {};
  pugi::xml_document doc;
  if (!doc.load_buffer(bytes.data(), bytes.size())) return {};
  const pugi::xml_node note =
      FindChildNode(FindChildNode(FindChildNode(doc, "OVXML"), "Header"), "Note");
  return str::Trim(note.attribute("AppNewVer").value());
}

bool TOVUpdateXML::LoadXMLText(std::string aBytes, std::string& aErro) {
  pugi::xml_document doc;
  try {
    const std::string enc = DeclaredEncoding(aBytes);
    if (!enc.empty() && enc != "utf-8" && enc != "utf8") {
      std::string utf8;
      if (!ov::platform::ConvertToUtf8(aBytes, enc, utf8)) {
        throw ov::Error("不支持的编码：" + enc);
      }
      aBytes = utf8;
    }
    // A document that is not well-formed counts as empty.
    if (!doc.load_buffer(aBytes.data(), aBytes.size())) doc.reset();
  } catch (const std::exception& e) {
    aErro = std::string("加载升级XML失败，") + e.what();
    TovLib::Log(aErro, true);
    return false;
  }
  pugi::xml_node root = FindChildNode(doc, "OVXML");
  if (!root) {
    aErro = "解析升级XML时读取OVXML失败";
    TovLib::Log(aErro, true);
    return false;
  }

  std::string lastAttr;
  try {
    pugi::xml_node note = FindChildNode(FindChildNode(root, "Header"), "Note");
    if (!note) throw ov::Error("没有Header/Note节点");
    for (pugi::xml_attribute a = note.first_attribute(); a; a = a.next_attribute()) {
      lastAttr = a.name();
      try {
        ApplyNoteAttr(lastAttr, a.value());
      } catch (const std::exception& e) {
        aErro = "加载头部信息失败(不影响)IN[" + lastAttr + "]：" + e.what();
        TovLib::Log(aErro, true);
      }
    }
  } catch (const std::exception& e) {
    aErro = "加载头部信息失败(不影响)[" + lastAttr + "]：" + e.what();
    TovLib::Log(aErro, true);
  }

  bool result = false;
  pugi::xml_node files = FindChildNode(root, "FileList");
  if (!files) {
    aErro = "解析升级XML时读取[FileList]升级文件失败";
  } else {
    try {
      SyncObj().ClearFileList();
      const ov::platform::TMapScope walk;  // the entries share a few folders
      for (pugi::xml_node item = files.first_child(); item; item = item.next_sibling()) {
        LoadFileNode(item, aErro);
      }
      result = true;
    } catch (const ov::update::EBadEntryPath& e) {
      aErro = e.what();
      TovLib::Log(aErro, true);
      SyncObj().ClearFileList();
      return false;
    } catch (const std::exception& e) {
      aErro = std::string("加载升级文件列表失败：") + e.what();
      TovLib::Log(aErro, true);
      return false;
    }
  }

  pugi::xml_node images = FindChildNode(root, "SliderImgList");
  if (!images) {
    TovLib::Log("加载展示图列表：无");
  } else {
    try {
      auto g = SyncObj().ImgListGuard();
      SyncObj().ClearImgList();
      for (pugi::xml_node item = images.first_child(); item; item = item.next_sibling()) {
        LoadImgNode(item, aErro);
      }
    } catch (const std::exception& e) {
      TovLib::Log(std::string("加载展示图列表失败(不影响)：") + e.what(), true);
    }
  }

  TSyncObj& so = SyncObj();
  auto fileName = [this](const pugi::xml_node& aItem) {
    std::string unused;
    return GetNodeAttr(aItem, "FileName", unused);
  };
  auto fileToDelete = [&](const pugi::xml_node& aItem) {
    const std::string f = fileName(aItem);
    if (!str::Trim(f).empty() &&
        !ov::update::IsEntryPathAllowed(f, ov::update::TaskEntryPath(f, FTargetDir), FTargetDir)) {
      throw ov::update::EBadEntryPath(f);
    }
    return f;
  };
  try {
    LoadTaskList(root, "OnBeforeUpdaaStop", &TSyncObj::FBeforeStopListGuard, so.FBeforeStopList,
                 "解析升级XML时读取[OnBeforeUpdaaStop]停止服务列表：无",
                 "加载[升级前]停止服务列表失败(不影响)：", fileName);
    LoadTaskList(root, "OnBeforeUpdaaClose", &TSyncObj::FBeforeCloseListGuard, so.FBeforeCloseList,
                 "解析升级XML时读取[OnBeforeUpdaaClose]关闭列表：无",
                 "加载[升级前]关闭列表失败(不影响)：", fileName);
    LoadTaskList(root, "OnBeforeUpdaaDelete", &TSyncObj::FBeforeDeleteListGuard,
                 so.FBeforeDeleteList, "解析升级XML时读取[OnBeforeUpdaaDelete]“待删除列表”：无",
                 "加载[升级前]“待删除列表”失败(不影响)：", fileToDelete);
    LoadTaskList(root, "OnAfterUpdataRun", &TSyncObj::FAfterRunListGuard, so.FAfterRunList,
                 "解析升级XML时读取[OnAfterUpdataRun]“待启动程序列表”：无",
                 "加载[升级后]启动程序列表失败(不影响)：", fileName);
    LoadTaskList(root, "OnAfterUpdataStart", &TSyncObj::FAfterStartListGuard, so.FAfterStartList,
                 "解析升级XML时读取[OnAfterUpdataStart]“待启动服务列表”：无",
                 "加载[升级后]启动服务列表失败(不影响)：", fileName);
  } catch (const ov::update::EBadEntryPath& e) {
    // Nothing of this version is left for the steps to act on.
    aErro = e.what();
    TovLib::Log(aErro, true);
    so.ClearFileList();
    so.ClearTaskLists();
    return false;
  }
  return result;
}

bool TOVUpdateXML::LoadFileNode(const pugi::xml_node& aItem, std::string& aErro) {
  const std::string target = GetNodeAttr(aItem, "TargetFile", aErro);
  if (target.empty()) return false;
  if (!ov::update::IsEntryPathAllowed(target, ov::update::FileEntryPath(target, FTargetDir),
                                      FTargetDir)) {
    throw ov::update::EBadEntryPath(target);
  }
  const std::string written = str::ReplaceAll(GetNodeAttr(aItem, "LastWriteTime", aErro), "/", "-");
  ov::TDateTime serverTime = 0;
  if (!written.empty()) {
    serverTime = ParseTime(written);
    if (serverTime == 0) {
      TovLib::Log("[升级检测]检测到文件最后更新时间有误(服务器)：" + written);
    }
  }
  const std::string created = str::ReplaceAll(GetNodeAttr(aItem, "LastWriteTime", aErro), "/", "-");
  const std::string md5 = GetNodeAttr(aItem, "MD5", aErro);
  const std::string path = str::ReplaceAll(target, ".\\", FTargetDir);
  if (!TOVUpdateUMP::FileNeedsUpdate(path, md5, serverTime, target)) return true;
  const std::string name = GetNodeAttr(aItem, "FileName", aErro);
  if (("-" + str::LowerCase(name)).find("thumbs.db") != std::string::npos) return true;
  if (!FIsExistsDataTransServer &&
      ("-" + str::LowerCase(target)).find(".\\datatransserver") != std::string::npos) {
    return true;
  }
  auto info = std::make_unique<TFileInfo>();
  info->FileName = name;
  info->SourceFile = GetNodeAttr(aItem, "SourceFile", aErro);
  info->TargetFile = target;
  info->MD5 = md5;
  int32_t size = 0;
  info->FileSize = str::TryStrToInt(GetNodeAttr(aItem, "FileSize", aErro), size) ? size : 0;
  info->CreateDateTime = created;
  info->Update = written;
  SyncObj().FileList.push_back(std::move(info));
  return true;
}

void TOVUpdateXML::LoadImgNode(const pugi::xml_node& aItem, std::string& aErro) {
  const std::string source = GetNodeAttr(aItem, "SourceFile", aErro);
  if (source.empty()) return;
  std::string target = str::Trim(GetNodeAttr(aItem, "TargetFile", aErro));
  if (target.empty()) target = ".\\" + TovLib::GetUrlFileName(source);
  auto img = std::make_unique<TImgInfo>();
  img->SourceFile = source;
  img->TargetFile = target;
  SyncObj().ImgList.push_back(std::move(img));
}

// ovpublish: puts files into the stand-in's file store and describes them for the installer.
static const char kUsage[] =
    "usage:\n"
    "  ovpublish folder --source DIR --store DIR --folder PATH [--module CODE]\n"
    "      [--version VER] [--note NAME=VALUE]... [--slider ADDRESS]...\n"
    "      [--task NODE:TYPE:FILE]... [--zip]\n"
    "    Update folder for the descriptor client: copies DIR into STORE/PATH and writes\n"
    "    Updata.xml, CODE + Updata.xml and, with --version, Updata.txt (ver=VER).\n"
    "    --note sets an attribute of the descriptor's Note (NoteInfo, NewHost, AppNewVer,\n"
    "    FileCheckMode, FileCheckZip, ProcExitUpdate, AutoFlag, CustInstPkg, FileServerType);\n"
    "    --slider adds a slide image address; tasks are 0:3 stop service, 0:0 close program,\n"
    "    0:8 delete file, 1:1 run program, 1:4 start service.\n"
    "  ovpublish version --source DIR --store DIR --folder PATH --catalogue FILE\n"
    "      --item-id ID --pos-type TYPE --ver-no VER --file-id N [--ver-name TEXT]\n"
    "      [--up-ver-no VER] [--up-ver-name TEXT] [--up-file-id N] [--softid S]\n"
    "      [--branch-jg B] [--jh-no J] [--ver-date DATE] [--ver-up-date DATE]\n"
    "      [--force-update F] [--memo TEXT] [--task NODE:TYPE:FILE]... [--zip]\n"
    "    Version for the version server: copies DIR into STORE/PATH and puts the version\n"
    "    record with its files and tasks into the catalogue (same item id and pos type\n"
    "    replaced).\n"
    "  ovpublish slides --source DIR --store DIR --product NAME\n"
    "    Copies the .png/.jpg images of DIR (at most 32, sorted by name) to\n"
    "    STORE/updatefiles/NAME_sdimgs/ as slider1, slider2, ...\n"
    "  ovpublish enterprise --catalogue FILE --softid N --install-code CODE --data FILE\n"
    "    Puts the install parameters (a JSON object in FILE) of an enterprise into the\n"
    "    catalogue.\n"
    "  ovpublish sample --store DIR --catalogue FILE [--programs linux|windows]\n"
    "      [--sample DIR] [--ketrin-dir WINDIR] [--zelcv-dir WINDIR]\n"
    "    The sample products written by ovsample (ketrin's Web and Caldis modules and\n"
    "    slides, zelcv's service and slides); the folders are where the installs will go.\n"
    "    The products carry this build's Linux programs, or with --programs windows those\n"
    "    of the Windows build (its build/win64/sample); --sample names another tree.\n"
    "  --zip also writes F.zip holding F for every published file F; with\n"
    "  --zip-min-size N only for files of at least N bytes.\n"
    "exit codes: 0 done, 1 publishing failed, 2 bad arguments\n";

#include <charconv>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Publish.h"
#include "platform/FileSystem.h"
#include "sample/PublishSample.h"

namespace {

using namespace ov::standin;

struct TArgs {
  std::map<std::string, std::string> Single;
  std::map<std::string, std::vector<std::string>> Multi;
  bool Zip = false;
};

int BadArgs(const std::string& aWhy) {
  std::fprintf(stderr, "ovpublish: %s\n%s", aWhy.c_str(), kUsage);
  return 2;
}

int Failed(const std::string& aWhy) {
  std::fprintf(stderr, "ovpublish: %s\n", aWhy.c_str());
  return 1;
}

// Flags with one value each; those in aMulti may repeat; "--zip" only where aZip allows it.
bool ParseArgs(int argc, char** argv, const std::set<std::string>& aSingle,
               const std::set<std::string>& aMulti, const std::set<std::string>& aRequired,
               bool aZip, TArgs& aArgs, std::string& aError) {
  for (int i = 2; i < argc; ++i) {
    const std::string k = argv[i];
    if (aZip && k == "--zip") {
      aArgs.Zip = true;
      continue;
    }
    if (!aSingle.count(k) && !aMulti.count(k)) {
      aError = "unknown option " + k;
      return false;
    }
    if (i + 1 >= argc) {
      aError = "option " + k + " needs a value";
      return false;
    }
    const std::string v = argv[++i];
    if (aMulti.count(k)) {
      aArgs.Multi[k].push_back(v);
    } else if (!aArgs.Single.emplace(k, v).second) {
      aError = "option " + k + " given twice";
      return false;
    }
  }
  for (const auto& r : aRequired) {
    if (!aArgs.Single.count(r)) {
      aError = "option " + r + " is required";
      return false;
    }
  }
  return true;
}

std::string Get(const TArgs& aArgs, const std::string& aKey, const std::string& aDefault = "") {
  auto it = aArgs.Single.find(aKey);
  return it == aArgs.Single.end() ? aDefault : it->second;
}

bool GetNumber(const TArgs& aArgs, const std::string& aKey, int64_t& aOut, std::string& aError) {
  auto it = aArgs.Single.find(aKey);
  if (it == aArgs.Single.end()) return true;
  const std::string& v = it->second;
  auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), aOut);
  if (v.empty() || ec != std::errc() || p != v.data() + v.size()) {
    aError = "option " + aKey + " needs a whole number, not \"" + v + "\"";
    return false;
  }
  return true;
}

bool GetTasks(const TArgs& aArgs, std::vector<TPublishTask>& aTasks, std::string& aError) {
  auto it = aArgs.Multi.find("--task");
  if (it == aArgs.Multi.end()) return true;
  for (const auto& text : it->second) {
    TPublishTask t;
    if (!ParsePublishTask(text, t, aError)) return false;
    aTasks.push_back(t);
  }
  return true;
}

int RunFolder(int argc, char** argv) {
  TArgs a;
  std::string err;
  if (!ParseArgs(argc, argv,
                 {"--source", "--store", "--folder", "--module", "--version", "--zip-min-size"},
                 {"--note", "--slider", "--task"}, {"--source", "--store", "--folder"}, true, a,
                 err)) {
    return BadArgs(err);
  }
  TFolderPublish job;
  job.Source = Get(a, "--source");
  job.StoreRoot = Get(a, "--store");
  job.Folder = Get(a, "--folder");
  job.ModuleCode = Get(a, "--module");
  job.Version = Get(a, "--version");
  job.Zip = a.Zip;
  if (!GetNumber(a, "--zip-min-size", job.ZipMinSize, err)) return BadArgs(err);
  for (const auto& n : a.Multi["--note"]) {
    const auto eq = n.find('=');
    if (eq == std::string::npos || eq == 0) return BadArgs("note " + n + " is not NAME=VALUE");
    job.Note.emplace_back(n.substr(0, eq), n.substr(eq + 1));
  }
  for (const auto& s : a.Multi["--slider"]) job.Images.push_back({s, ""});
  if (!GetTasks(a, job.Tasks, err)) return BadArgs(err);
  if (!PublishFolder(job, err)) return Failed(err);
  return 0;
}

int RunVersion(int argc, char** argv) {
  TArgs a;
  std::string err;
  if (!ParseArgs(
          argc, argv,
          {"--source", "--store", "--folder", "--catalogue", "--item-id", "--pos-type", "--ver-no",
           "--file-id", "--ver-name", "--up-ver-no", "--up-ver-name", "--up-file-id", "--softid",
           "--branch-jg", "--jh-no", "--ver-date", "--ver-up-date", "--force-update", "--memo",
           "--zip-min-size"},
          {"--task"},
          {"--source", "--store", "--folder", "--catalogue", "--item-id", "--pos-type", "--ver-no",
           "--file-id"},
          true, a, err)) {
    return BadArgs(err);
  }
  TVersionPublish job;
  job.Source = Get(a, "--source");
  job.StoreRoot = Get(a, "--store");
  job.Folder = Get(a, "--folder");
  job.Catalogue = Get(a, "--catalogue");
  job.ItemId = Get(a, "--item-id");
  job.PosType = Get(a, "--pos-type");
  job.VerNo = Get(a, "--ver-no");
  job.VerName = Get(a, "--ver-name");
  job.UpVerNo = Get(a, "--up-ver-no");
  job.UpVerName = Get(a, "--up-ver-name");
  job.SoftId = Get(a, "--softid", "*");
  job.BranchJg = Get(a, "--branch-jg", "*");
  job.JhNo = Get(a, "--jh-no", "*");
  job.VerDate = Get(a, "--ver-date");
  job.VerUpDate = Get(a, "--ver-up-date");
  job.ForceUpdate = Get(a, "--force-update", "0");
  job.VerMemo = Get(a, "--memo");
  job.Zip = a.Zip;
  if (!GetNumber(a, "--file-id", job.VerFileId, err) ||
      !GetNumber(a, "--zip-min-size", job.ZipMinSize, err) ||
      !GetNumber(a, "--up-file-id", job.UpFileId, err) || !GetTasks(a, job.Tasks, err)) {
    return BadArgs(err);
  }
  if (!PublishVersion(job, err)) return Failed(err);
  return 0;
}

int RunSlides(int argc, char** argv) {
  TArgs a;
  std::string err;
  const std::set<std::string> flags = {"--source", "--store", "--product"};
  if (!ParseArgs(argc, argv, flags, {}, flags, false, a, err)) return BadArgs(err);
  TSlidePublish job{Get(a, "--source"), Get(a, "--store"), Get(a, "--product")};
  if (!PublishSlides(job, err)) return Failed(err);
  return 0;
}

int RunEnterprise(int argc, char** argv) {
  TArgs a;
  std::string err;
  const std::set<std::string> flags = {"--catalogue", "--softid", "--install-code", "--data"};
  if (!ParseArgs(argc, argv, flags, {}, flags, false, a, err)) return BadArgs(err);
  TEnterprisePublish job;
  job.Catalogue = Get(a, "--catalogue");
  job.InstallCode = Get(a, "--install-code");
  job.DataFile = Get(a, "--data");
  if (!GetNumber(a, "--softid", job.SoftId, err)) return BadArgs(err);
  if (!PublishEnterprise(job, err)) return Failed(err);
  return 0;
}

int RunSample(int argc, char** argv) {
  TArgs a;
  std::string err;
  if (!ParseArgs(argc, argv,
                 {"--sample", "--programs", "--store", "--catalogue", "--ketrin-dir", "--zelcv-dir"},
                 {}, {"--store", "--catalogue"}, false, a, err)) {
    return BadArgs(err);
  }
  const std::string programs = Get(a, "--programs", "linux");
  if (programs != "linux" && programs != "windows") {
    return BadArgs("--programs must be linux or windows");
  }
  TSamplePublish job;
  job.Sample = Get(a, "--sample", programs == "linux" ? OV_SAMPLE_DIR : OV_WIN_SAMPLE_DIR);
  if (!ov::platform::fs::HostDirectoryExists(job.Sample)) {
    return Failed("no sample products in " + job.Sample + " (built by " +
                  (programs == "linux" ? "the ov_sample_tree target" : "the win64 preset") + ")");
  }
  job.StoreRoot = Get(a, "--store");
  job.Catalogue = Get(a, "--catalogue");
  job.KetrinDir = Get(a, "--ketrin-dir", job.KetrinDir);
  job.ZelcvDir = Get(a, "--zelcv-dir", job.ZelcvDir);
  if (!PublishSample(job, err)) return Failed(err);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return BadArgs("no command given");
  const std::string cmd = argv[1];
  if (cmd == "folder") return RunFolder(argc, argv);
  if (cmd == "version") return RunVersion(argc, argv);
  if (cmd == "slides") return RunSlides(argc, argv);
  if (cmd == "enterprise") return RunEnterprise(argc, argv);
  if (cmd == "sample") return RunSample(argc, argv);
  if (cmd == "--help" || cmd == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return BadArgs("unknown command " + cmd);
}

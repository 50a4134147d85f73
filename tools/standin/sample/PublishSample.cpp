#include "sample/PublishSample.h"

#include "Catalogue.h"
#include "Publish.h"

namespace ov::standin {

namespace {

std::string WithBackslash(const std::string& aDir) {
  return aDir.empty() || aDir.back() == '\\' ? aDir : aDir + "\\";
}

bool AddTasks(const std::vector<std::string>& aTexts, std::vector<TPublishTask>& aTasks,
              std::string& aError) {
  for (const auto& text : aTexts) {
    TPublishTask t;
    if (!ParsePublishTask(text, t, aError)) return false;
    aTasks.push_back(t);
  }
  return true;
}

// A version of the sample below versions/<module>/<version>, large files with zip variants.
TVersionPublish SampleVersion(const TSamplePublish& aJob, const std::string& aSource,
                              const std::string& aItemId, const std::string& aPosType,
                              const std::string& aVerNo, int64_t aFileId) {
  TVersionPublish v;
  v.Source = aSource;
  v.StoreRoot = aJob.StoreRoot;
  v.Folder = "versions/" + aPosType + "/" + aVerNo;
  v.Catalogue = aJob.Catalogue;
  v.ItemId = aItemId;
  v.PosType = aPosType;
  v.VerNo = aVerNo;
  v.VerFileId = aFileId;
  v.Zip = true;
  v.ZipMinSize = kSampleZipMinSize;
  return v;
}

}  // namespace

bool PublishSample(const TSamplePublish& aJob, std::string& aError) {
  const std::string ketrin = aJob.Sample + "/ketrin";
  const std::string zelcv = aJob.Sample + "/zelcv";
  const std::string caldisDir = WithBackslash(aJob.KetrinDir) + "Caldis\\";
  const std::string zelcvDir = WithBackslash(aJob.ZelcvDir);

  TFolderPublish web;
  web.Source = ketrin + "/web";
  web.StoreRoot = aJob.StoreRoot;
  web.Folder = "updatefiles/ketrin_webapp";
  web.ModuleCode = "Web";
  web.Version = "1.0.0.2";
  web.Note = {{"NoteInfo", "Ketrin Web 1.0.0.2"}, {"AppNewVer", "1.0.0.2"}, {"FileCheckZip", "1"}};
  web.Zip = true;
  web.ZipMinSize = kSampleZipMinSize;
  if (!AddTasks({"0:0:OVWebClient.exe"}, web.Tasks, aError)) return false;

  TVersionPublish pos = SampleVersion(aJob, ketrin + "/pos", "80001888", "61063", "1.0.5", 55);
  pos.VerName = "Caldis 1.0.5";
  pos.VerMemo = "示例版本";
  if (!AddTasks({"0:3:CaldisSvc", "0:0:Caldis.exe", "0:8:.\\logs\\旧日志.log",
                 "1:4:CaldisSvc|" + caldisDir + "CaldisSvc.exe"},
                pos.Tasks, aError)) {
    return false;
  }

  TVersionPublish svc = SampleVersion(aJob, zelcv + "/svc", "80001004", "21062", "2.3.1", 77);
  svc.VerName = "Corvela商品智能下发服务 2.3.1";
  if (!AddTasks({"0:3:OVZelService", "1:4:OVZelService|" + zelcvDir + "OVZelService.exe"},
                svc.Tasks, aError)) {
    return false;
  }

  if (!(PublishFolder(web, aError) && PublishVersion(pos, aError) &&
        PublishSlides({ketrin + "/slides", aJob.StoreRoot, "ketrin"}, aError) &&
        PublishVersion(svc, aError) &&
        PublishSlides({zelcv + "/slides", aJob.StoreRoot, "zelcv"}, aError))) {
    return false;
  }
  if (!aJob.AllProducts) return true;
  struct TTwin {
    const char* Code;
    const char* PosType;
    int64_t FileId;
  };
  for (const TTwin& t : {TTwin{"pindor", "61064", 56}, TTwin{"daskor", "61009", 57}}) {
    TFolderPublish w = web;
    w.Folder = std::string("updatefiles/") + t.Code + "_webapp";
    w.Tasks.clear();
    if (!PublishFolder(w, aError) ||
        !PublishVersion(
            SampleVersion(aJob, ketrin + "/pos", "80001888", t.PosType, "1.0.5", t.FileId),
            aError)) {
      return false;
    }
  }
  if (!PublishVersion(SampleVersion(aJob, zelcv + "/svc", "8000514", "31067", "3.0.1", 78),
                      aError)) {
    return false;
  }
  if (aJob.StoreUrl.empty()) return true;
  TCatalogue cat;
  if (!cat.Load(aJob.Catalogue, aError)) return false;
  cat.PutEnterprise(kSampleSoftId, kSampleInstallCode,
                    {{"business_weburl", aJob.StoreUrl + "/"},
                     {"webbackenddownloadurl", aJob.StoreUrl + "/updatefiles/ketrin_webapp/"},
                     {"firstreception_apiurl", "ovupdata://vfid=55&app_nver=1.0.5"},
                     {"carouselpicurls", nlohmann::json::array()}});
  return cat.Save(aJob.Catalogue, aError);
}

}  // namespace ov::standin

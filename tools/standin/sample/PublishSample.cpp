#include "sample/PublishSample.h"

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

  TVersionPublish pos;
  pos.Source = ketrin + "/pos";
  pos.StoreRoot = aJob.StoreRoot;
  pos.Folder = "versions/61063/1.0.5";
  pos.Catalogue = aJob.Catalogue;
  pos.ItemId = "80001888";
  pos.PosType = "61063";
  pos.VerNo = "1.0.5";
  pos.VerName = "Caldis 1.0.5";
  pos.VerFileId = 55;
  pos.VerMemo = "示例版本";
  pos.Zip = true;
  pos.ZipMinSize = kSampleZipMinSize;
  if (!AddTasks({"0:3:CaldisSvc", "0:0:Caldis.exe", "0:8:.\\logs\\旧日志.log",
                 "1:4:CaldisSvc|" + caldisDir + "CaldisSvc.exe"},
                pos.Tasks, aError)) {
    return false;
  }

  TVersionPublish svc;
  svc.Source = zelcv + "/svc";
  svc.StoreRoot = aJob.StoreRoot;
  svc.Folder = "versions/21062/2.3.1";
  svc.Catalogue = aJob.Catalogue;
  svc.ItemId = "80001004";
  svc.PosType = "21062";
  svc.VerNo = "2.3.1";
  svc.VerName = "Corvela商品智能下发服务 2.3.1";
  svc.VerFileId = 77;
  svc.Zip = true;
  svc.ZipMinSize = kSampleZipMinSize;
  if (!AddTasks({"0:3:OVZelService", "1:4:OVZelService|" + zelcvDir + "OVZelService.exe"},
                svc.Tasks, aError)) {
    return false;
  }

  return PublishFolder(web, aError) && PublishVersion(pos, aError) &&
         PublishSlides({ketrin + "/slides", aJob.StoreRoot, "ketrin"}, aError) &&
         PublishVersion(svc, aError) &&
         PublishSlides({zelcv + "/slides", aJob.StoreRoot, "zelcv"}, aError);
}

}  // namespace ov::standin

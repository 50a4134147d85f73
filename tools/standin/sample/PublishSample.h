#pragma once

#include <string>

// Publishes the sample products written by ovsample into a store and a catalogue:
//   ketrin: the Web module as the update folder "updatefiles/ketrin_webapp" (large files with
//   zip variants), the Caldis module as version 1.0.5 (file id 55) of application 80001888
//   module 61063, and the slides of "updatefiles/ketrin_sdimgs";
//   zelcv: its service as version 2.3.1 (file id 77) of application 80001004 module 21062,
//   and the slides of "updatefiles/zelcv_sdimgs".
// The Caldis and zelcv versions stop and close what runs before the files are replaced and,
// afterwards, start a service that installs itself; the service's program path is taken from
// the install folders given here, as the maker's back office would write it.
namespace ov::standin {

struct TSamplePublish {
  std::string Sample;                               // the folder ovsample wrote
  std::string StoreRoot;                            // host folder the file store serves
  std::string Catalogue;                            // host path of the catalogue JSON file
  std::string KetrinDir = "C:\\Ondrevo\\Ketrin\\";  // Windows folder the ketrin run installs to
  std::string ZelcvDir = "C:\\Ondrevo软件\\Corvela商品智能下发服务\\";
  // Also the other rows of the product table on the same files: pindor and Daskor as ketrin
  // ("updatefiles/<code>_webapp", versions 61064 and 61009 of 80001888, file ids 56 and 57),
  // brvapp as zelcv (31067 of 8000514, file id 78), without tasks; zelapp and zelntr share
  // zelcv's version. With StoreUrl (the file store's address) also corvela's enterprise 1001
  // with install code "K7Q2", whose web module is ketrin's Web folder and whose front end is
  // ketrin's Caldis version.
  bool AllProducts = false;
  std::string StoreUrl;
};

// The sample enterprise of corvela.
constexpr long long kSampleSoftId = 1001;
constexpr const char* kSampleInstallCode = "K7Q2";

// Files of at least this size get a zip variant.
constexpr long long kSampleZipMinSize = 64 * 1024;

bool PublishSample(const TSamplePublish& aJob, std::string& aError);

}  // namespace ov::standin

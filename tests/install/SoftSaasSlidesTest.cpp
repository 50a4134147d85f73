#include <gtest/gtest.h>

#include "common/ServiceTest.h"
#include "install/SoftCorvelaHelperUtil.h"
#include "install/SoftKetrinHelperUtil.h"
#include "platform/MainThread.h"

namespace {

class SlidesTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    CreateSoftVar();
  }
  void TearDown() override {
    ov::platform::JoinWorkers(20000);
    FreeSoftVar();
    TServiceTest::TearDown();
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (int i = 1; i <= 9; ++i) {
      std::string v = SoftVar().sliders().GetValue("slider" + std::to_string(i));
      if (!v.empty()) out.push_back("slider" + std::to_string(i) + "=" + v);
    }
    return out;
  }
};

}  // namespace

TEST_F(SlidesTest, NumberedImagesEndAtTheFirstGap) {
  Serve("/updatefiles/ketrin_sdimgs/slider1.png", "png1");
  Serve("/updatefiles/ketrin_sdimgs/slider2.jpg", "jpg2");
  Serve("/updatefiles/ketrin_sdimgs/slider4.png", "png4");
  TSoftKetrinHelper k;
  k.DownImgSliders(FStore.BaseUrl() + "/updatefiles/ketrin_webapp/", "C:\\Soft\\Web\\");
  ASSERT_TRUE(ov::platform::JoinWorkers(20000));
  const std::string dir = "C:\\Soft\\Web\\updt_temp\\InstSlider\\";
  EXPECT_EQ(Lines(), (std::vector<std::string>{"slider1=" + dir + "slider1.png",
                                               "slider2=" + dir + "slider2.jpg"}));
  EXPECT_EQ(ReadHost(Host(dir + "slider2.jpg")), "jpg2");
  // Once per process: a second module fetches nothing.
  const size_t before = FStore.RequestLog().size();
  k.DownImgSliders("", "C:\\Soft\\Caldis\\");
  ASSERT_TRUE(ov::platform::JoinWorkers(20000));
  EXPECT_EQ(FStore.RequestLog().size(), before);
}

TEST_F(SlidesTest, PartialImagesOfAKilledRunDoNotOutliveTheNextRun) {
  Serve("/updatefiles/ketrin_sdimgs/slider1.png", "png1");
  Serve("/updatefiles/ketrin_sdimgs/slider2.png", "png2");
  const std::string web = "C:\\Soft\\Web\\updt_temp\\InstSlider\\";
  const std::string pos = "C:\\Soft\\Caldis\\updt_temp\\InstSlider\\";
  // Left by killed runs: an image the series no longer has, and one that a second module
  // fetched while the first had none yet.
  WriteHost(Host(web + "slider2.jpg.parts"), "jp");
  WriteHost(Host(pos + "slider1.png.parts"), "pn");
  WriteHost(Host(pos + "slider1.png.parts.info"), "70000\n\"v1\"\n");
  TSoftKetrinHelper k;
  k.DownImgSliders(FStore.BaseUrl() + "/updatefiles/ketrin_webapp/", "C:\\Soft\\Web\\");
  ASSERT_TRUE(ov::platform::JoinWorkers(20000));
  k.DownImgSliders("", "C:\\Soft\\Caldis\\");
  ASSERT_TRUE(ov::platform::JoinWorkers(20000));
  EXPECT_EQ(Lines().size(), 2u);
  EXPECT_FALSE(HostExists(Host(web + "slider2.jpg.parts")));
  EXPECT_FALSE(HostExists(Host(pos + "slider1.png.parts")));
  EXPECT_FALSE(HostExists(Host(pos + "slider1.png.parts.info")));
}

TEST_F(SlidesTest, NoBaseAddressNoThread) {
  TSoftKetrinHelper k;
  k.ImgSliderUrl().SetV("  ");
  k.DownImgSliders("", "C:\\Soft\\Web\\");
  EXPECT_EQ(ov::platform::RunningWorkers(), 0);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(SlidesTest, EnterpriseImagesStayConsecutive) {
  Serve("/img/a.png", "a");
  Serve("/img/c.jpg", "c");
  // A quoted last segment keeps its slashes in the file name; such an image is skipped, as it
  // would be written outside the slide folder.
  Serve("/up.png\"", "up");
  nlohmann::json data = {{"carouselpicurls",
                          {FStore.BaseUrl() + "/img/a.png", FStore.BaseUrl() + "/img/missing.png",
                           " ", FStore.BaseUrl() + "/img/\"x/../../../up.png\"", "/img/c.jpg"}}};
  ov::standin::TCatalogue cat;
  cat.PutEnterprise(7, "X", data);
  FPlatform.SetCatalogue(cat);
  TSoftCorvelaHelper c;
  std::string result;
  ASSERT_EQ(c.GetInstConfig("", "", "7", "X", result), 1) << result;
  c.SetRetryPauseMs(1);
  c.DownImgSliders(FStore.BaseUrl(), "C:\\Corp\\Pos\\");
  ASSERT_TRUE(ov::platform::JoinWorkers(20000));
  const std::string dir = "C:\\Corp\\Pos\\updt_temp\\InstSlider\\";
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"slider1=" + dir + "a.png", "slider2=" + dir + "c.jpg"}));
  EXPECT_FALSE(HostExists(Host("C:\\Corp\\Pos\\up.png")));
}

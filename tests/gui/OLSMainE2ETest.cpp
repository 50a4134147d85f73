// A whole install through the window: ketrin's two modules from the stand-in services, driven
// by clicks. With OV_SCREENSHOT_DIR set, the cards are saved there as pictures.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "gui/GuiTestUtil.h"
#include "gui/OLSMainTestUtil.h"
#include "install/SoftBaseHelperUtil.h"

namespace {

using TManifest = std::map<std::string, std::string>;

class OLSMainE2ETest : public TOLSMainTest {
 protected:
  TManifest WebManifest() const {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file((RootDir() + "/updatefiles/ketrin_webapp/Updata.xml").c_str()));
    TManifest m;
    for (auto f : doc.child("OVXML").child("FileList").children("File")) {
      m[f.attribute("TargetFile").value()] = f.attribute("MD5").value();
    }
    EXPECT_FALSE(m.empty());
    return m;
  }
  TManifest PosManifest() const {
    std::ifstream in(CatalogueFile());
    const auto cat = nlohmann::json::parse(in);
    TManifest m;
    for (const auto& v : cat.at("versions")) {
      if (v.at("pos_type") != "61063") continue;
      const std::string id = std::to_string(v.at("up_file_id").get<int64_t>());
      for (const auto& f : cat.at("details").at(id).at("file_detail")) {
        m[f.at("file_addr")] = f.at("file_key");
      }
    }
    EXPECT_FALSE(m.empty());
    return m;
  }
  static std::string Mismatches(const TManifest& aFiles, const std::string& aDir) {
    std::string out;
    for (const auto& [target, md5] : aFiles) {
      const std::string file = aDir + target.substr(2);  // drops ".\"
      const std::string got = HostExists(Host(file)) ? TovLib::GetFileMD5(file) : "missing";
      if (!ov::str::SameText(got, md5)) out += file + ": " + got + " != " + md5 + "\n";
    }
    return out;
  }
  void Shot(QWidget& aWindow, const char* aName) {
    const QByteArray dir = qgetenv("OV_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
#ifdef _WIN32
    const QString name = QStringLiteral("windows-") + aName;
#else
    const QString name = aName;
#endif
    EXPECT_TRUE(aWindow.grab().save(QString::fromUtf8(dir) + "/" + name + ".png", "PNG"));
  }
};

}  // namespace

TEST_F(OLSMainE2ETest, BothKetrinModulesInstallFromTheWindow) {
  PublishSample("C:\\Shop\\");
  TOLSMainProbe& w = Open();
  w.edtModPath->setText(QStringLiteral("C:\\Shop\\"));
  QTest::mouseClick(w.lblchkmodweb, Qt::LeftButton);
  QTest::mouseClick(w.imgchkmodpos1, Qt::LeftButton);
  Shot(w, "options-en");
  // The typed folder stays through both flags.
  QTest::mouseClick(w.imgEN, Qt::LeftButton);
  EXPECT_EQ(w.edtModPath->text(), QStringLiteral("C:\\Shop\\"));
  Shot(w, "options-cn");
  QTest::mouseClick(w.imgCN, Qt::LeftButton);
  EXPECT_EQ(w.edtModPath->text(), QStringLiteral("C:\\Shop\\"));

  // The run occupies the install timer's handler; the progress card is taken from a timer
  // inside it, once a downloaded slide is on screen.
  bool progressShot = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &w, [&] {
    if (!progressShot && w.crdpnl->currentWidget() == w.crdforminst && w.imgSlider->Tag() > 0 &&
        w.pbModInst->value() > 0) {
      progressShot = true;
      Shot(w, "progress");
    }
  });
  poll.start(50);
  QTest::mouseClick(w.lblModInst, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return w.crdpnl->currentWidget() == w.crdformfnsh; }, 240000));
  poll.stop();
  EXPECT_TRUE(FBoxes->Messages.empty()) << FBoxes->Messages[0];
  EXPECT_TRUE(progressShot);
  EXPECT_EQ(Mismatches(WebManifest(), "C:\\Shop\\Web\\"), "");
  EXPECT_EQ(Mismatches(PosManifest(), "C:\\Shop\\Caldis\\"), "");
  EXPECT_EQ(w.pbModInst->maximum(), 100);
  EXPECT_EQ(w.lblFnshInstTips->Caption(), QStringLiteral("Install finished!"));
  EXPECT_FALSE(SoftVar().sliders().GetValue("slider1").empty());
  Shot(w, "finish");
  QTest::mouseClick(w.imgFnshInst, Qt::LeftButton);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(TInstHelper::getReg("KetrinWeb", ""), "1");
  EXPECT_EQ(TInstHelper::getReg("KetrinPos", ""), "1");
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", ""), "C:\\Shop\\");
}

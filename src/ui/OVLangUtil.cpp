#include "ui/OVLangUtil.h"

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "base/OVStrUtil.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "ui/OVLangCNUtil.h"
#include "ui/OVLangENUtil.h"

namespace fs = ov::platform::fs;

namespace {

struct TPunct {
  const char* Ascii;
  const char* Wide;
};
const TPunct kPunct[] = {{":", "："}, {".", "。"}, {",", "，"}, {"!", "！"}, {"?", "？"}};

// Position of the first line whose key (text before the first "=") equals aCode.
long FindKey(const std::vector<std::string>& aWords, const std::string& aCode) {
  for (size_t i = 0; i < aWords.size(); ++i) {
    size_t eq = aWords[i].find('=');
    if (eq != std::string::npos && ov::str::SameText(std::string_view(aWords[i]).substr(0, eq), aCode)) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

}  // namespace

bool LoadLangFile(const std::string& aFile, std::vector<std::string>& aLines) {
  std::string data;
  if (!fs::ReadFile(aFile, data)) return false;
  std::string text;
  if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = data.substr(3);
  } else if (data.compare(0, 2, "\xFF\xFE") == 0) {
    if (!ov::platform::ConvertToUtf8(std::string_view(data).substr(2), "UTF-16LE", text)) {
      return false;
    }
  } else if (data.compare(0, 2, "\xFE\xFF") == 0) {
    if (!ov::platform::ConvertToUtf8(std::string_view(data).substr(2), "UTF-16BE", text)) {
      return false;
    }
  } else {
    text = ov::platform::AnsiToUtf8(data);
  }
  aLines = ov::str::SplitLines(text);
  return true;
}

TOVLangHelper::TOVLangHelper() = default;
TOVLangHelper::~TOVLangHelper() = default;

int32_t TOVLangHelper::LangIndex(const std::string& aLangCode) {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  for (size_t i = 0; i < FLangList.size(); ++i) {
    if (FLangList[i] && ov::str::SameText(FLangList[i]->Code(), aLangCode)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

int32_t TOVLangHelper::LoadLang(const std::string& aLangCode) {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  int32_t index = LangIndex(aLangCode);
  if (index < 0) {
    FLangList.push_back(std::make_unique<TOVLang>());
    index = static_cast<int32_t>(FLangList.size() - 1);
  }
  TOVLang& lang = *FLangList[static_cast<size_t>(index)];
  lang.SetCode(aLangCode);
  int32_t result = -1;
  if (!lang.Loaded()) {
    if (ov::str::SameText(aLangCode, "EN")) {
      lang.SetName(TOVLangENHelper::Name());
      TOVLangENHelper::Load(lang.Words());
    } else {
      lang.SetName(TOVLangCNHelper::Name());
      TOVLangCNHelper::Load(lang.Words());
    }
    std::string file = GetCurrPath() + "Languag\\" + aLangCode + ".txt";
    if (!fs::FileExists(file)) file = GetCurrPath() + "Lang\\" + aLangCode + ".txt";
    std::vector<std::string> lines;
    result = 0;
    // A file that cannot be read or decoded leaves the built-in table, like a missing one.
    if (fs::FileExists(file) && LoadLangFile(file, lines)) {
      lang.Words() = std::move(lines);
      result = 1;
    }
    lang.SetLoaded(true);
  }
  FLangIndex = index;
  FLangCode = aLangCode;
  return result;
}

void TOVLangHelper::SetLangCode(const std::string& Value) {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  FLangCode = Value;
}

std::string TOVLangHelper::LangCode() const {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  return FLangCode;
}

std::string TOVLangHelper::T(const std::string& aCode, const std::string& aDefText) {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  if (FLangIndex < 0) return aDefText;
  std::vector<std::string>& words = FLangList[static_cast<size_t>(FLangIndex)]->Words();
  long i = FindKey(words, aCode);
  if (i < 0) {
    if (!aDefText.empty()) words.push_back(aCode + "=" + aDefText);
    return aDefText;
  }
  const std::string& line = words[static_cast<size_t>(i)];
  return line.substr(line.find('=') + 1);
}

std::string TOVLangHelper::C(const std::string& aChar) const {
  const bool english = ov::str::SameText(LangCode(), "EN");
  for (const auto& p : kPunct) {
    if (!english && aChar == p.Ascii) return p.Wide;
    if (english && aChar == p.Wide) return p.Ascii;
  }
  return aChar;
}

std::string TOVLangHelper::GetCurrFile() { return TovLib::GetCurrFile(); }

std::string TOVLangHelper::GetCurrPath() {
  return ov::str::IncludeTrailingBackslash(ov::str::ExtractFileDir(GetCurrFile()));
}

int32_t TOVLangHelper::LangCount() const {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  return static_cast<int32_t>(FLangList.size());
}

std::vector<std::string> TOVLangHelper::WordsOf(const std::string& aLangCode) const {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  for (const auto& l : FLangList) {
    if (l && ov::str::SameText(l->Code(), aLangCode)) return l->Words();
  }
  return {};
}

TOVLangHelper& LangHelper() {
  TOVLangHelper* h = ov::TProcessWide<TOVLangHelper>::Get();
  if (!h) throw ov::Error("the language manager does not exist");
  return *h;
}

bool HasLangHelper() { return ov::TProcessWide<TOVLangHelper>::Get() != nullptr; }
void CreateLangHelper() { ov::TProcessWide<TOVLangHelper>::Create(); }
void FreeLangHelper() { ov::TProcessWide<TOVLangHelper>::Free(); }

std::string LangT(const std::string& aCode, const std::string& aDefText) {
  return HasLangHelper() ? LangHelper().T(aCode, aDefText) : aDefText;
}

std::string LangC(const std::string& aChar) {
  return HasLangHelper() ? LangHelper().C(aChar) : aChar;
}

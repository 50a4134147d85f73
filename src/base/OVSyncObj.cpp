#include "base/OVSyncObj.h"

#include "base/OVStrUtil.h"

namespace {

std::string NameOf(const std::string& line) {
  size_t eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(0, eq);
}

}  // namespace

TOVSyncStringList::TOVSyncStringList(const std::string& aDefCommaText)
    : FList(ov::str::SplitCommaText(aDefCommaText)), FDefCommaText(aDefCommaText) {}

TOVSyncStringList::~TOVSyncStringList() {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  FList.clear();
}

int32_t TOVSyncStringList::IndexOfName(const std::string& aName) const {
  for (size_t i = 0; i < FList.size(); ++i) {
    if (ov::str::SameText(NameOf(FList[i]), aName)) return static_cast<int32_t>(i);
  }
  return -1;
}

void TOVSyncStringList::Add(const std::string& aName, const std::string& aValue) {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  int32_t i = IndexOfName(aName);
  if (aValue.empty()) {
    if (i >= 0) FList.erase(FList.begin() + i);
    return;
  }
  std::string line = aName + "=" + aValue;
  if (i >= 0) {
    FList[static_cast<size_t>(i)] = std::move(line);
  } else {
    FList.push_back(std::move(line));
  }
}

void TOVSyncStringList::Clear() {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  FList.clear();
}

int32_t TOVSyncStringList::Count() const {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  return static_cast<int32_t>(FList.size());
}

std::string TOVSyncStringList::GetValue(const std::string& aName) const {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  int32_t i = IndexOfName(aName);
  if (i < 0) return {};
  const std::string& line = FList[static_cast<size_t>(i)];
  size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void TOVSyncStringList::ResetDef() {
  std::vector<std::string> items = ov::str::SplitCommaText(FDefCommaText);
  std::lock_guard<std::recursive_mutex> g(FLocker);
  FList = std::move(items);
}

bool TOVSyncStringList::Del(const std::string& aName) {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  int32_t i = IndexOfName(aName);
  if (i < 0) return false;
  FList.erase(FList.begin() + i);
  return true;
}

std::string TOVSyncStringList::GetCommaText() const {
  std::lock_guard<std::recursive_mutex> g(FLocker);
  return ov::str::JoinCommaText(FList);
}

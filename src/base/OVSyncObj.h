#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Small locked holders for values that the window and the worker threads both touch. Every
// read and write takes the holder's own lock for one copy; no operation takes two holders'
// locks, so the family cannot deadlock.
class TOVObject {
 public:
  TOVObject() = default;
  virtual ~TOVObject() = default;
  TOVObject(const TOVObject&) = delete;
  TOVObject& operator=(const TOVObject&) = delete;
};

class TOVSync : public TOVObject {
 public:
  TOVSync() = default;

 protected:
  // Declared in the base, so it exists before and outlives every derived member.
  mutable std::recursive_mutex FLocker;
};

template <class T>
class TOVSyncValue : public TOVSync {
 public:
  explicit TOVSyncValue(T aDefValue = T()) : FValue(aDefValue), FDefValue(std::move(aDefValue)) {}

  T v() const {
    std::lock_guard<std::recursive_mutex> g(FLocker);
    return FValue;
  }
  void SetV(T aValue) {
    std::lock_guard<std::recursive_mutex> g(FLocker);
    FValue = std::move(aValue);
  }
  // Never changes after construction, so it is read without the lock.
  const T& DefValue() const { return FDefValue; }
  void ResetDef() { SetV(FDefValue); }

 private:
  T FValue;
  const T FDefValue;
};

class TOVSyncInt : public TOVSyncValue<int32_t> {
 public:
  explicit TOVSyncInt(int32_t aDefValue = 0) : TOVSyncValue(aDefValue) {}
};

class TOVSyncInt64 : public TOVSyncValue<int64_t> {
 public:
  explicit TOVSyncInt64(int64_t aDefValue = 0) : TOVSyncValue(aDefValue) {}
};

class TOVSyncStr : public TOVSyncValue<std::string> {
 public:
  explicit TOVSyncStr(std::string aDefValue = "") : TOVSyncValue(std::move(aDefValue)) {}
};

// A small locked dictionary kept as ordered "name=value" lines. Names match without regard
// to case; the name of a line is the text before its first "=".
class TOVSyncStringList : public TOVSync {
 public:
  explicit TOVSyncStringList(const std::string& aDefCommaText = "");
  ~TOVSyncStringList() override;

  // Sets the entry in place, or appends it; an empty value removes the entry instead.
  void Add(const std::string& aName, const std::string& aValue);
  void Clear();
  int32_t Count() const;
  // Text after the first "=" of the first line with that name; empty when none.
  std::string GetValue(const std::string& aName) const;

  void ResetDef();
  // Removes the entry of that name; false when there was none.
  bool Del(const std::string& aName);
  std::string GetCommaText() const;
  const std::string& DefCommaText() const { return FDefCommaText; }

 private:
  int32_t IndexOfName(const std::string& aName) const;

  std::vector<std::string> FList;
  const std::string FDefCommaText;
};
